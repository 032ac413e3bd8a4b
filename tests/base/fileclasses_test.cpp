// The file classes: line reading, binary values, open modes and formatted
// writes, checked against the bytes on disk.
#include "base/file.h"
#include "base/fileclasses.h"
#include "base/stringtools.h"

#include <gtest/gtest.h>

#include "base/filetestutil.h"

namespace {

using Lines = std::vector<std::string>;

TEST(FileReadLine, LineEndsOfEveryKindAndLongLinesCutButConsumed) {
  const std::string longLine = std::string(300, 'x') + "\r\nnext\r\n";
  const struct {
    std::string text;
    std::size_t size;
    Lines lines;
  } cases[] = {
      {"a\r\n\r\nb", kPathSize, {"a", "", "b"}}, {"a\n\rb\n", kPathSize, {"a", "b"}},
      // The same line end twice is an empty line, not one line end.
      {"a\n\nb\r\rc", kPathSize, {"a", "", "b", "", "c"}}, {"a\r", kPathSize, {"a"}}, {"", kPathSize, {}},
      {"\n", kPathSize, {""}}, {longLine, kPathSize, {std::string(259, 'x'), "next"}},
      {longLine, 4, {"xxx", "nex"}}, {longLine, 1, {"", ""}},
  };
  TempFolder dir;
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteWhole(dir / "lines", c.text));
    LReadFile file((dir / "lines").c_str());
    Lines lines;
    std::vector<char> buffer(c.size + 1, 'z');
    while (file.ReadLine(buffer.data(), c.size) && buffer[c.size] == 'z')
      lines.emplace_back(buffer.data());
    EXPECT_EQ(lines, c.lines) << c.text.substr(0, 12) << " size " << c.size;
  }
}

TEST(FileClasses, BinaryValuesFormattedWritesAndReadOnlyHandles) {
  TempFolder dir;
  const std::string path = dir / "bin";
  {
    LWriteFile out(path.c_str());
    EXPECT_TRUE(out.WriteUInt32(0x11223344u) && out.WriteUInt8(0xAB));
    EXPECT_EQ(out.Tell(), 5u);
  }
  EXPECT_EQ(ReadWhole(path), std::string("\x44\x33\x22\x11\xAB", 5));
  {
    LReadFile in(path.c_str());
    EXPECT_EQ(in.ReadUInt32(), 0x11223344u);
    // One byte left: a 32-bit read gives 0, then the file has ended.
    EXPECT_EQ(in.ReadUInt32(), 0u);
    EXPECT_EQ(in.ReadUInt8(), 0u);
    EXPECT_TRUE(in.Seek(4));
    EXPECT_EQ(in.ReadUInt8(), 0xABu);
    LWriteFileRef wrongWay(in.GetHandle());
    EXPECT_EQ(wrongWay.Write("x", 1), 0u);
    EXPECT_FALSE(wrongWay.WriteString("x"));
  }
  EXPECT_EQ(ReadWhole(path).size(), 5u) << "writes through a handle opened for reading";
  {
    LWriteFile out(path.c_str());
    EXPECT_EQ(fprintf(out, "PORT=%d\nNAME=%s %U%%\n", 8000, "a b", "a b"), 26u);
  }
  EXPECT_EQ(ReadWhole(path), "PORT=8000\nNAME=a b a%20b%\n");
}

TEST(FileClasses, OpenModes) {
  TempFolder dir;
  const std::string path = dir / "f.txt";
  EXPECT_FALSE(LReadFile(path.c_str()) || LSharedReadFile(path.c_str()) || LReadFile((dir / "no/x").c_str(), 50));
  ASSERT_TRUE(WriteWhole(path, "old content"));
  EXPECT_TRUE(LWriteFile(path.c_str()).WriteString("new"));
  LWriteFile fresh;
  EXPECT_FALSE(fresh);
  EXPECT_FALSE(fresh.OpenNew(path.c_str()));
  EXPECT_EQ(ReadWhole(path), "new");
  EXPECT_TRUE(fresh.OpenNew((dir / "g.txt").c_str()) && fresh.WriteLineCRLF("x"));
  fresh.Close();
  EXPECT_EQ(ReadWhole(dir / "g.txt"), "x\r\n");
  {
    LAppendFile a(path.c_str(), 100);
    a.Seek(0); // appends go to the end wherever the offset is
    EXPECT_TRUE(a.WriteLineLF("+1"));
  }
  EXPECT_EQ(ReadWhole(path), "new+1\n");
  {
    LSharedReadWriteFile rw(path.c_str());
    char buf[4] = {};
    EXPECT_EQ(rw.Read(buf, 3), 3u);
    EXPECT_STREQ(buf, "new");
    EXPECT_TRUE(rw.Truncate());
  }
  EXPECT_EQ(ReadWhole(path), "new");
  {
    LReadWriteFile rw(path.c_str(), 100);
    time_t modified = 0;
    EXPECT_TRUE(rw.SeekOffset(1) && rw.WriteStringUTF8("\xc3\xbc"));
    EXPECT_EQ(rw.GetFileSizeBytes(), 3u);
    EXPECT_TRUE(rw.GetFileModifiedTime(modified) && modified > 0);
  }
  EXPECT_EQ(ReadWhole(path), "n\xc3\xbc");
  EXPECT_EQ(LSharedWriteFile(path.c_str()).GetFileSizeBytes(), 0u);
  LFileRef closed;
  char byte;
  EXPECT_FALSE(closed);
  EXPECT_EQ(closed._Read(&byte, 1) + closed._Write("x", 1) + closed.Tell() + closed.GetFileSizeBytes(), 0u);
  EXPECT_FALSE(closed.Truncate());
}

} // namespace
