#include <cstdio>
#include <cstring>

// Entry point.  The service, desktop and installer roles are routed here as
// they arrive; until then the program explains its command line.
static void PrintUsage(const char* exe)
{
  std::printf("Velorin streaming audio server\n\n"
              "Usage: %s [-service | -install | -uninstall | -logon]\n"
              "  -service    run the background service (daemon)\n"
              "  -install    install the program and its service\n"
              "  -uninstall  remove the program and its service\n"
              "  -logon      desktop start at user logon\n",
              exe);
}

int main(int argc, char** argv)
{
  PrintUsage(argc > 0 ? argv[0] : "velorin");
  return 0;
}
