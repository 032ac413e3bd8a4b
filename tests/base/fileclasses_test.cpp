#include "base/fileclasses.h"
#include "base/file.h"
#include "base/stringtools.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/filetestutil.h"

namespace {

std::vector<std::string> ReadLines(const std::string& path, std::size_t size = kPathSize)
{
  std::vector<std::string> lines;
  LReadFile file(path.c_str());
  EXPECT_TRUE(file);
  std::vector<char> buffer(size + 1, 'z');
  while (file.ReadLine(buffer.data(), size)) {
    EXPECT_EQ(buffer[size], 'z');
    lines.emplace_back(buffer.data());
  }
  return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(FileReadLine, LineEndsOfEveryKind)
{
  TempFolder dir;
  std::string path = dir / "lines.txt";
  ASSERT_TRUE(WriteWhole(path, "a\r\n\r\nb"));
  EXPECT_EQ(ReadLines(path), (Lines{"a", "", "b"}));
  ASSERT_TRUE(WriteWhole(path, "a\n\rb\n"));
  EXPECT_EQ(ReadLines(path), (Lines{"a", "b"}));
  // The same line end twice is an empty line, not one line end.
  ASSERT_TRUE(WriteWhole(path, "a\n\nb\r\rc"));
  EXPECT_EQ(ReadLines(path), (Lines{"a", "", "b", "", "c"}));
  ASSERT_TRUE(WriteWhole(path, "a\r"));
  EXPECT_EQ(ReadLines(path), (Lines{"a"}));
  ASSERT_TRUE(WriteWhole(path, ""));
  EXPECT_EQ(ReadLines(path), Lines{});
  ASSERT_TRUE(WriteWhole(path, "\n"));
  EXPECT_EQ(ReadLines(path), (Lines{""}));
}

TEST(FileReadLine, LongLinesAreCutButConsumed)
{
  TempFolder dir;
  std::string path = dir / "long.txt";
  std::string longLine(300, 'x');
  ASSERT_TRUE(WriteWhole(path, longLine + "\r\nnext\r\n"));
  EXPECT_EQ(ReadLines(path), (Lines{std::string(259, 'x'), "next"}));
  EXPECT_EQ(ReadLines(path, 4), (Lines{"xxx", "nex"}));
  EXPECT_EQ(ReadLines(path, 1), (Lines{"", ""}));
}

TEST(FileClasses, BinaryValuesAreLittleEndian)
{
  TempFolder dir;
  std::string path = dir / "bin";
  {
    LWriteFile out(path.c_str());
    ASSERT_TRUE(out);
    EXPECT_TRUE(out.WriteUInt32(0x11223344u));
    EXPECT_TRUE(out.WriteUInt8(0xAB));
    EXPECT_EQ(out.Tell(), 5u);
  }
  EXPECT_EQ(ReadWhole(path), std::string("\x44\x33\x22\x11\xAB", 5));
  LReadFile in(path.c_str());
  EXPECT_EQ(in.ReadUInt32(), 0x11223344u);
  // Only one byte left: a 32-bit read gives 0, then the file has ended.
  EXPECT_EQ(in.ReadUInt32(), 0u);
  EXPECT_EQ(in.ReadUInt8(), 0u);
  EXPECT_TRUE(in.Seek(4));
  EXPECT_EQ(in.ReadUInt8(), 0xABu);
}

TEST(FileClasses, OpenModes)
{
  TempFolder dir;
  std::string path = dir / "f.txt";
  EXPECT_FALSE(LReadFile(path.c_str()));
  EXPECT_FALSE(LSharedReadFile(path.c_str()));
  EXPECT_FALSE(LReadFile((dir / "missing/x").c_str(), 50));

  ASSERT_TRUE(WriteWhole(path, "old content"));
  {
    LWriteFile w(path.c_str());
    EXPECT_TRUE(w.WriteString("new"));
  }
  EXPECT_EQ(ReadWhole(path), "new");

  LWriteFile fresh;
  EXPECT_FALSE(fresh);
  EXPECT_FALSE(fresh.OpenNew(path.c_str()));
  EXPECT_EQ(ReadWhole(path), "new");
  EXPECT_TRUE(fresh.OpenNew((dir / "g.txt").c_str()));
  EXPECT_TRUE(fresh.WriteLineCRLF("x"));
  fresh.Close();
  EXPECT_EQ(ReadWhole(dir / "g.txt"), "x\r\n");

  {
    LAppendFile a(path.c_str(), 100);
    ASSERT_TRUE(a);
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
    EXPECT_TRUE(rw.SeekOffset(1));
    EXPECT_TRUE(rw.WriteStringUTF8("\xc3\xbc"));
    EXPECT_EQ(rw.GetFileSizeBytes(), 3u);
    time_t modified = 0;
    EXPECT_TRUE(rw.GetFileModifiedTime(modified));
    EXPECT_GT(modified, 0);
  }
  EXPECT_EQ(ReadWhole(path), "n\xc3\xbc");

  {
    LSharedWriteFile sw(path.c_str());
    EXPECT_EQ(sw.GetFileSizeBytes(), 0u);
  }

  LFileRef closed;
  EXPECT_FALSE(closed);
  char byte;
  EXPECT_EQ(closed._Read(&byte, 1), 0u);
  EXPECT_EQ(closed._Write("x", 1), 0u);
  EXPECT_EQ(closed.Tell(), 0u);
  EXPECT_EQ(closed.GetFileSizeBytes(), 0u);
  EXPECT_FALSE(closed.Truncate());
}

TEST(FileClasses, FormattedWriteUsesTheProgramFormatter)
{
  TempFolder dir;
  std::string path = dir / "script";
  {
    LWriteFile out(path.c_str());
    EXPECT_EQ(fprintf(out, "PORT=%d\nNAME=%s %U%%\n", 8000, "a b", "a b"), 26u);
  }
  EXPECT_EQ(ReadWhole(path), "PORT=8000\nNAME=a b a%20b%\n");
}

TEST(FileClasses, WritesToAReadOnlyFileReportFailure)
{
  TempFolder dir;
  std::string path = dir / "ro";
  ASSERT_TRUE(WriteWhole(path, "abc"));
  LReadFile in(path.c_str());
  LWriteFileRef wrongWay(in.GetHandle());
  EXPECT_EQ(wrongWay.Write("x", 1), 0u);
  EXPECT_FALSE(wrongWay.WriteString("x"));
  EXPECT_EQ(ReadWhole(path), "abc");
}
