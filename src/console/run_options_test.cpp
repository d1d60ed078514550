#include "console/run_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quillpack {
namespace {

using Arguments = std::vector<std::string>;

std::optional<std::string> TypedOf(const std::optional<CommandPath>& path) {
  return path ? std::optional<std::string>(path->typed()) : std::nullopt;
}

// Reads the arguments of each row by the rules of both hosts and hands what was read to
// `check`, with a label that names the row and the host.
template <typename Case, std::size_t kRows, typename Check>
void ReadOnBothHosts(const Case (&cases)[kRows], Check check) {
  for (const OptionRules& rules : {WindowsOptionRules(), PosixOptionRules()}) {
    for (const Case& c : cases) {
      std::string label = c.arguments.front() + (rules.everySlashWordIsAnOption ? " windows" : "");
      check(c, ReadOptionWords(c.arguments, rules), label);
    }
  }
}

struct Expected {
  Action action;
  HeaderStyle style;
  bool help;
  bool debug;
  std::string firstPath;
  std::string secondPath;
  bool surplus;
};

void ExpectRead(const Arguments& arguments, const OptionRules& rules, const Expected& e,
                const char* host) {
  OptionWords read = ReadOptionWords(arguments, rules);
  std::string label = std::string(host) + ":";
  for (const std::string& a : arguments)
    label += " [" + a + "]";
  EXPECT_EQ(read.options.action, e.action) << label;
  EXPECT_EQ(read.options.headerStyle, e.style) << label;
  EXPECT_EQ(read.options.help, e.help) << label;
  EXPECT_EQ(read.options.debug, e.debug) << label;
  EXPECT_EQ(read.options.firstPath.typed(), e.firstPath) << label;
  EXPECT_EQ(read.options.secondPath.typed(), e.secondPath) << label;
  EXPECT_EQ(read.surplusPaths, e.surplus) << label;
}

constexpr Action kNone = Action::kNone;
constexpr Action kMerge = Action::kMerge;
constexpr Action kExtract = Action::kExtract;
constexpr HeaderStyle kPlain = kDefaultHeaderStyle;
constexpr HeaderStyle kArrow = kNiceHeaderStyle;

TEST(ReadOptionWords, SameOnEveryHost) {
  struct Case {
    Arguments arguments;
    Expected expected;
  };
  const Case cases[] = {
      {{}, {kNone, kPlain, true, false, "", "", false}},
      {{"?"}, {kNone, kPlain, true, false, "", "", false}},
      {{"-?"}, {kNone, kPlain, true, false, "", "", false}},
      {{"-merge", "-?"}, {kMerge, kPlain, true, false, "", "", false}},
      {{"-MERGE", "in", "out"}, {kMerge, kPlain, false, false, "in", "out", false}},
      {{"-Extract", "m.txt"}, {kExtract, kPlain, false, false, "m.txt", "", false}},
      {{"-merg", "a"}, {kNone, kPlain, false, false, "a", "", false}},
      {{"-merge", "-extract"}, {kExtract, kPlain, false, false, "", "", false}},
      {{"-nice"}, {kNone, kArrow, false, false, "", "", false}},
      {{"-DEBUG", "-x", "-", "-m"}, {kNone, kPlain, false, true, "-", "", false}},
      {{"? ", "a"}, {kNone, kPlain, false, false, "? ", "a", false}},
      {{"?", "a"}, {kNone, kPlain, false, false, "?", "a", false}},
      {{"?", "a", "b"}, {kNone, kPlain, false, false, "?", "a", true}},
      {{"", "x"}, {kNone, kPlain, false, false, "", "x", false}},
      {{"--merge"}, {kNone, kPlain, false, false, "", "", false}},
  };
  for (const Case& c : cases) {
    ExpectRead(c.arguments, WindowsOptionRules(), c.expected, "windows");
    ExpectRead(c.arguments, PosixOptionRules(), c.expected, "posix");
  }
}

TEST(ReadOptionWords, SlashWordsDifferByHost) {
  const Arguments arguments = {"/Merge", "/data/in.txt", "/NICE", "out"};
  ExpectRead(arguments, WindowsOptionRules(), {kMerge, kArrow, false, false, "out", "", false},
             "windows");
  ExpectRead(arguments, PosixOptionRules(),
             {kMerge, kArrow, false, false, "/data/in.txt", "out", false}, "posix");
  ExpectRead({"/?"}, PosixOptionRules(), {kNone, kPlain, true, false, "", "", false}, "posix");
  ExpectRead({"/", "/debugx"}, PosixOptionRules(),
             {kNone, kPlain, false, false, "/", "/debugx", false}, "posix");
  ExpectRead({"/", "/debugx"}, WindowsOptionRules(), {kNone, kPlain, false, false, "", "", false},
             "windows");
}

// "--help" and "--version" ignore case like every word, on both hosts, and have no "/"
// form: on POSIX that is a path, on Win32 an unknown word.
TEST(ReadOptionWords, HelpAndVersionWords) {
  struct Case {
    Arguments arguments;
    bool help;
    bool withoutPause;
    bool version;
    std::string firstPath;
  };
  const Case cases[] = {
      {{"--help"}, true, true, false, ""},
      {{"--HELP", "-merge", "a"}, true, true, false, "a"},
      {{"-?", "--Help"}, true, true, false, ""},
      {{"--version"}, false, false, true, ""},
      {{"-extract", "--Version", "m.txt"}, false, false, true, "m.txt"},
      {{"--version", "-?"}, true, false, true, ""},
      {{"-h", "-help", "--h", "---help", "--help=x", "-version"}, false, false, false, ""},
  };
  ReadOnBothHosts(cases, [](const Case& c, const OptionWords& read, const std::string& label) {
    EXPECT_EQ(read.options.help, c.help) << label;
    EXPECT_EQ(read.options.helpWithoutPause, c.withoutPause) << label;
    EXPECT_EQ(read.options.version, c.version) << label;
    EXPECT_EQ(read.options.firstPath.typed(), c.firstPath) << label;
  });
  EXPECT_EQ(ReadOptionWords({"/help", "/version"}, PosixOptionRules()).options.firstPath.typed(),
            "/help");
  EXPECT_FALSE(ReadOptionWords({"/help"}, WindowsOptionRules()).options.help);
  EXPECT_FALSE(ReadOptionWords({"/version"}, WindowsOptionRules()).options.version);
}

// Option words that match no known word are listed, in order, for the caller to name; a
// lone "-" is a path, and on POSIX so is a "/" argument outside the known words.
TEST(ReadOptionWords, UnknownWordsListed) {
  struct Case {
    Arguments arguments;
    Arguments windows;
    Arguments posix;
  };
  const Case cases[] = {
      {{}, {}, {}},
      {{"-MERGE", "-Nice", "--HELP", "--version", "-?", "-debug", "-extract"}, {}, {}},
      {{"-x", "-", "a", "--include=*.h", "-merg", "-x"},
       {"-x", "--include=*.h", "-merg", "-x"},
       {"-x", "--include=*.h", "-merg", "-x"}},
      {{"/x", "/MERGE", "/data/in.txt", "/", "-?x"}, {"/x", "/data/in.txt", "/", "-?x"}, {"-?x"}},
      {{"/help", "/version", "/-merge", "-/merge"},
       {"/help", "/version", "/-merge", "-/merge"},
       {"-/merge"}},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& a : c.arguments)
      label += " [" + a + "]";
    EXPECT_EQ(ReadOptionWords(c.arguments, WindowsOptionRules()).unknownWords, c.windows)
        << "windows:" << label;
    EXPECT_EQ(ReadOptionWords(c.arguments, PosixOptionRules()).unknownWords, c.posix)
        << "posix:" << label;
  }
}

// The words for trees: each sets its own field, in either form, on both hosts; on POSIX a
// "/" argument that is none of them stays a path.
TEST(ReadOptionWords, TreeWords) {
  struct Case {
    Arguments arguments;
    bool recurse;
    bool keepCase;
    bool lineFeedsOnly;
  };
  const Case cases[] = {
      {{"-recurse"}, true, false, false},
      {{"-R"}, true, false, false},
      {{"/r"}, true, false, false},
      {{"-KeepCase"}, false, true, false},
      {{"/keepcase"}, false, true, false},
      {{"-lf", "/LF"}, false, false, true},
      {{"-r", "-keepcase", "-lf"}, true, true, true},
      {{"-rec", "-keep", "-l"}, false, false, false},
  };
  ReadOnBothHosts(cases, [](const Case& c, const OptionWords& read, const std::string& label) {
    EXPECT_EQ(read.options.recurse, c.recurse) << label;
    EXPECT_EQ(read.options.keepCase, c.keepCase) << label;
    EXPECT_EQ(read.options.lineFeedsOnly, c.lineFeedsOnly) << label;
    EXPECT_EQ(read.options.firstPath.typed(), "") << label;
  });
  EXPECT_EQ(ReadOptionWords({"/rx"}, PosixOptionRules()).options.firstPath.typed(), "/rx");
}

// The words that choose what a listing takes: -exclude= as often as given, its pattern as
// typed; on POSIX only a "/" argument of the short list is a word, "/exclude=" among them.
TEST(ReadOptionWords, ListingWords) {
  struct Case {
    Arguments arguments;
    Arguments patterns;
    bool gitignore;
    bool hidden;
    Arguments unknown;
    std::string firstPath;
  };
  const Case both[] = {
      {{"-exclude=*.o", "--EXCLUDE=Build/", "-Exclude==x"},
       {"*.o", "Build/", "=x"},
       false,
       false,
       {},
       ""},
      {{"/gitignore", "/HIDDEN"}, {}, true, true, {}, ""},
      {{"-exclude=", "--exclude", "-exclude", "-excludes=x"},
       {},
       false,
       false,
       {"-exclude=", "--exclude", "-exclude", "-excludes=x"},
       ""},
  };
  const Case windows[] = {
      {{"/exclude=a\\b", "/--exclude=x"}, {"a\\b"}, false, false, {"/--exclude=x"}, ""},
  };
  const Case posix[] = {
      {{"/exclude=x", "-GitIgnore", "-hidden", "-gitignores"},
       {"x"},
       true,
       true,
       {"-gitignores"},
       ""},
      {{"/exclude=a\\b", "/--exclude=x"}, {"a\\b"}, false, false, {}, "/--exclude=x"},
  };
  auto check = [](const Case& c, const OptionRules& rules, const char* host) {
    OptionWords read = ReadOptionWords(c.arguments, rules);
    std::string label = std::string(host) + " " + c.arguments.front();
    EXPECT_EQ(read.options.excludePatterns, c.patterns) << label;
    EXPECT_EQ(read.options.gitignore, c.gitignore) << label;
    EXPECT_EQ(read.options.hidden, c.hidden) << label;
    EXPECT_EQ(read.unknownWords, c.unknown) << label;
    EXPECT_EQ(read.options.firstPath.typed(), c.firstPath) << label;
  };
  for (const Case& c : both) {
    check(c, WindowsOptionRules(), "windows");
    check(c, PosixOptionRules(), "posix");
  }
  for (const Case& c : windows)
    check(c, WindowsOptionRules(), "windows");
  for (const Case& c : posix)
    check(c, PosixOptionRules(), "posix");
}

// The words for scripts: the later of -overwrite and -skip counts, -list is an action, and
// a lone "-" is a path in either place, on both hosts.
TEST(ReadOptionWords, ScriptWords) {
  struct Case {
    Arguments arguments;
    Action action;
    Overwrites overwrites;
    std::string firstPath;
    std::string secondPath;
  };
  const Case cases[] = {
      {{"-extract", "-overwrite", "m.txt"}, Action::kExtract, Overwrites::kAll, "m.txt", ""},
      {{"-SKIP", "-merge", "-", "-"}, Action::kMerge, Overwrites::kNone, "-", "-"},
      {{"-skip", "/overwrite"}, Action::kNone, Overwrites::kAll, "", ""},
      {{"/overwrite", "-skip", "-list", "-"}, Action::kList, Overwrites::kNone, "-", ""},
      {{"-extract", "-list"}, Action::kList, Overwrites::kAsk, "", ""},
  };
  ReadOnBothHosts(cases, [](const Case& c, const OptionWords& read, const std::string& label) {
    EXPECT_EQ(read.options.action, c.action) << label;
    EXPECT_EQ(read.options.overwrites, c.overwrites) << label;
    EXPECT_EQ(read.options.firstPath.typed(), c.firstPath) << label;
    EXPECT_EQ(read.options.secondPath.typed(), c.secondPath) << label;
  });
}

// The words for bundling a repository: the value after "=" is taken as given, the later
// one counts, and a word without its "=" is no word of the tool's.
TEST(ReadOptionWords, EscapeAndListWords) {
  struct Case {
    Arguments arguments;
    bool escape;
    std::optional<std::string> filesFrom;
    std::string firstPath;
    Arguments unknown;
  };
  const Case cases[] = {
      {{"-escape"}, true, {}, "", {}},
      {{"/ESCAPE", "src"}, true, {}, "src", {}},
      {{"-files-from=List.TXT", "src"}, false, "List.TXT", "src", {}},
      {{"--Files-From=-"}, false, "-", "", {}},
      {{"/files-from=a b", "-files-from=c"}, false, "c", "", {}},
      {{"-files-from="}, false, "", "", {}},
      {{"-files-from=x=y"}, false, "x=y", "", {}},
      {{"-files-from", "list"}, false, {}, "list", {"-files-from"}},
      {{"-files-fromx=list"}, false, {}, "", {"-files-fromx=list"}},
      {{"-escapes"}, false, {}, "", {"-escapes"}},
  };
  ReadOnBothHosts(cases, [](const Case& c, const OptionWords& read, const std::string& label) {
    EXPECT_EQ(read.options.escape, c.escape) << label;
    EXPECT_EQ(TypedOf(read.options.filesFrom), c.filesFrom) << label;
    EXPECT_EQ(read.options.firstPath.typed(), c.firstPath) << label;
    EXPECT_EQ(read.unknownWords, c.unknown) << label;
  });
  // No "/" form for the "--" spelling: on POSIX it is a path.
  EXPECT_EQ(ReadOptionWords({"/-files-from=x"}, PosixOptionRules()).options.firstPath.typed(),
            "/-files-from=x");
}

// -quiet and -q in either form, on both hosts; a word that only begins like them is none,
// and on POSIX stays a path when it begins with "/".
TEST(ReadOptionWords, QuietWords) {
  struct Case {
    Arguments arguments;
    bool quiet;
    std::string posixFirstPath;
  };
  const Case cases[] = {
      {{"-quiet", "-merge", "a", "b"}, true, "a"},
      {{"-Q", "-extract", "m.txt"}, true, "m.txt"},
      {{"/quiet", "-list", "m.txt"}, true, "m.txt"},
      {{"/q"}, true, ""},
      {{"-quietly", "-qq", "--quiet", "-qu"}, false, ""},
      {{"/qx", "-list"}, false, "/qx"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadOptionWords(c.arguments, WindowsOptionRules()).options.quiet, c.quiet)
        << c.arguments.front() << " windows";
    TRunOptions posix = ReadOptionWords(c.arguments, PosixOptionRules()).options;
    EXPECT_EQ(posix.quiet, c.quiet) << c.arguments.front() << " posix";
    EXPECT_EQ(posix.firstPath.typed(), c.posixFirstPath) << c.arguments.front() << " posix";
  }
}

// "-" is a standard stream only where the operation reads or writes one; the console is
// told which, so that no line of data answers a question and no console line lands in the
// data.
TEST(DataStreamsOf, ByTheOperation) {
  struct Case {
    Arguments arguments;
    DataStreams streams;
  };
  const Case cases[] = {
      {{"-merge", "src", "out.txt"}, {false, false}},
      {{"-merge", "src", "-"}, {false, true}},
      {{"-merge", "src"}, {false, true}},
      {{"-merge", "-", "out.txt"}, {false, false}},
      {{"-merge", "-files-from=-", "src", "out.txt"}, {true, false}},
      {{"-merge", "-files-from=list.txt", "src", "-"}, {false, true}},
      {{"src", "-"}, {false, true}},
      {{"-files-from=-", "src", "out.txt"}, {true, false}},
      {{"-extract", "-", "out"}, {true, false}},
      {{"-extract", "m.txt", "-"}, {false, false}},
      {{"-extract", "-files-from=-", "m.txt", "out"}, {false, false}},
      {{"-list", "-"}, {true, true}},
      {{"-list", "m.txt"}, {false, true}},
      {{"-?", "-list", "-"}, {false, false}},
      {{"--version", "-merge", "src", "-"}, {false, false}},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const std::string& a : c.arguments)
      label += " [" + a + "]";
    DataStreams streams = DataStreamsOf(ReadOptionWords(c.arguments).options);
    EXPECT_EQ(streams.input, c.streams.input) << label;
    EXPECT_EQ(streams.output, c.streams.output) << label;
  }
}

TEST(OptionRules, SurplusPathsRefusedOnlyOnPosix) {
  EXPECT_FALSE(WindowsOptionRules().refuseSurplusPaths);
  EXPECT_TRUE(PosixOptionRules().refuseSurplusPaths);
}

}  // namespace
}  // namespace quillpack
