#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace command_line_test {

namespace {

CommandLine parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "corvane");
  return parseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandLine, EchoListsTheOptionsInItsOwnOrder) {
  struct Case {
    std::vector<const char*> arguments;
    std::vector<std::string> echo;
    bool verbose;  // after the echo
  };
  const Case cases[] = {
      {{}, {}, false},
      {{"-verbose", "+MAP", "tiny", "-bogus"},
       {"Command line options:\n", "\tVerbose Logging\n", "\tLaunching with map \"tiny.as\"\n",
        "\tBad command line argument: '-bogus'\n"},
       true},
      {{"-debuginfo"},
       {"Command line options:\n", "\tPrinting debug information\n",
        "\tForcing verbose mode due to debug print settings\n"},
       true},
      {{"-nowarnings", "-verbose"},
       {"Command line options:\n", "\tVerbose Logging\n", "\t-warnings ignored due to verbose mode\n"},
       true},
      {{"-nowarnings"}, {"Command line options:\n", "\tOnly logging errors\n"}, false},
      {{"+curlocale", "German.TXT", "-debuginfo"},
       {"Command line options:\n", "\tPrinting debug information\n",
        "\tForcing verbose mode due to debug print settings\n", "\tUsing German.txt curLocale\n"},
       true},
      // Every echoed switch at once, given in reverse of the echo's order.
      {{"-videomode", "+map", "ab", "-nothreadedload", "-profile", "-defaults", "-nolog", "-debuginfo",
        "-nomdumps", "+developer", "-verbose"},
       {"Command line options:\n", "\tVerbose Logging\n", "\tDeveloper Mode\n", "\tNot generating minidumps\n",
        "\tPrinting debug information\n", "\tNot outputting to log.txt\n", "\tWill reset config.cfg\n",
        "\tProfiling aspects of the engine\n", "\tUsing a single thread to load resources\n",
        "\tLaunching with map \"ab\"\n", "\tVideo Output Mode\n"},
       true},
      // Switches without an echo line, and values that go missing at the end.
      {{"-singlethreaded", "-shigatsu", "-quickstart", "-test_scripts", "+mod", "m", "+servername", "s",
        "+serverpass"},
       {"Command line options:\n"},
       false},
      {{"+map"}, {"Command line options:\n", "\tBad command line argument: '+map requires a map name'\n"}, false},
      {{"+Mod"}, {"Command line options:\n", "\tBad command line argument: '+Mod requires a mod name'\n"}, false},
      {{"+quickstart"},
       {"Command line options:\n", "\tBad command line argument: '+quickstart requires a quickstart index'\n"},
       false},
      {{"+CurLocale"},
       {"Command line options:\n", "\tUsing english.txt curLocale\n",
        "\tBad command line argument: '+CurLocale requires a locale name'\n"},
       false},
  };
  for (const Case& c : cases) {
    CommandLine options = parse(c.arguments);
    EXPECT_EQ(echoCommandLine(options), c.echo) << (c.arguments.empty() ? "(none)" : c.arguments[0]);
    EXPECT_EQ(options.verboseLog, c.verbose) << (c.arguments.empty() ? "(none)" : c.arguments[0]);
  }
}

TEST(CommandLine, SwitchesIgnoreCaseAndValuesKeepIt) {
  const CommandLine options = parse({"-NoLog", "+MOD", "MyMod", "+QuickStart", "Fast", "+ServerName", "Big Server",
                                     "+SERVERPASS", "PassWord", "-NOMDUMPS", "-SingleThreaded", "-NoThreadedLoad",
                                     "-ShiGatsu", "-Test_Scripts", "-VideoMode", "-Defaults"});
  EXPECT_FALSE(options.logToFile);
  EXPECT_EQ(options.modName, "MyMod");
  EXPECT_EQ(options.quickStartName, irr::core::stringw(L"Fast"));
  EXPECT_EQ(options.serverName, "Big Server");
  EXPECT_EQ(options.serverPassword, "PassWord");
  EXPECT_FALSE(options.writeMinidumps);
  EXPECT_TRUE(options.singleThreaded);
  EXPECT_FALSE(options.threadedLoad);
  EXPECT_TRUE(options.shigatsu);
  EXPECT_TRUE(options.scriptTestMode);
  EXPECT_TRUE(options.videoMode);
  EXPECT_TRUE(options.resetConfig);
  EXPECT_TRUE(options.badArguments.empty());

  // A switch's value is taken whatever it looks like.
  EXPECT_EQ(parse({"+map", "-verbose"}).mapName, "-verbose.as");
  EXPECT_FALSE(parse({"+map", "-verbose"}).verboseLog);
}

TEST(CommandLine, MapAndLocaleNamesAreFixedUp) {
  struct Case {
    const char* map;
    const char* expected;
  };
  const Case maps[] = {{"tiny", "tiny.as"}, {"ab", "ab"}, {"galaxy.AS", "galaxy.AS"}, {"x.as", "x.as"},
                       {"abc", "abc.as"}, {"", ""}};
  for (const Case& c : maps)
    EXPECT_EQ(parse({"+map", c.map}).mapName, c.expected) << c.map;
  EXPECT_EQ(parse({}).mapName, "spiral.as");

  const Case locales[] = {{"German.TXT", "German"}, {"french", "french"}, {".txt", ""}, {"a.txt.txt", "a.txt"}};
  for (const Case& c : locales)
    EXPECT_EQ(parse({"+curlocale", c.map}).localeName, c.expected) << c.map;
}

}  // namespace

}  // namespace command_line_test
