// Keeps the manual page and the README in step with the program: the synopsis
// with the usage text, the option list with the parser, the output layouts
// with what a run prints, and the exit status list with the failure messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/log_status.h"
#include "app/messages.h"
#include "app/options.h"
#include "support/free_space.h"
#include "support/hive_builder.h"
#include "support/run_tool.h"
#include "support/sample_hive.h"
#include "support/string_sink.h"

namespace keyscout {
namespace {

using Lines = std::vector<std::string>;

// The source tree: this file lies in tests/app/ below it.
std::filesystem::path SourceTree() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

Lines ReadLines(const std::filesystem::path& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << "cannot read " << path;
  Lines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const Lines& ManPage() {
  static const Lines page = ReadLines(SourceTree() / "man" / "keyscout.1");
  return page;
}

// Every message text is ASCII, so the units narrow one for one.
std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of one man page section (".SH NAME" up to the next ".SH").
Lines Section(const std::string& name) {
  Lines lines;
  bool inside = false;
  for (const std::string& line : ManPage()) {
    if (line.starts_with(".SH ")) {
      std::string title = line.substr(4);
      if (title.size() >= 2 && title.front() == '"') title = title.substr(1, title.size() - 2);
      inside = title == name;
    } else if (inside) {
      lines.push_back(line);
    }
  }
  EXPECT_FALSE(lines.empty()) << "no section " << name;
  return lines;
}

// Text as a reader sees it. In a pattern, an italic placeholder matches any
// text; elsewhere it stands as it is written.
std::string Unescape(const std::string& text, bool as_pattern) {
  std::string out;
  bool italic = false;
  auto literal = [&](const std::string& piece) {
    if (as_pattern && italic) return;  // the ".*" was written when italics began
    if (!as_pattern) {
      out += piece;
      return;
    }
    for (char c : piece) {
      if (std::string_view(".^$|()[]{}*+?\\").find(c) != std::string_view::npos) out += '\\';
      out += c;
    }
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      literal(std::string(1, text[i]));
      continue;
    }
    const char e = text[++i];
    if (e == '-') {
      literal("-");
    } else if (e == 'e') {
      literal("\\");
    } else if (e == ' ') {
      literal(" ");
    } else if (e == '&') {
    } else if (e == '*' && i + 1 < text.size() && text[i + 1] == 'T') {
      ++i;
      literal("\t");  // the tab marker of the output layouts
    } else if (e == 'f' && i + 1 < text.size()) {
      const bool was_italic = italic;
      italic = text[++i] == 'I';
      if (as_pattern && italic && !was_italic) out += ".*";
    } else if (e == '(' && i + 2 < text.size()) {
      const std::string glyph = text.substr(i + 1, 2);
      i += 2;
      if (glyph == "aq") {
        literal("'");
      } else if (glyph == "dq" || glyph == "lq" || glyph == "rq") {
        literal("\"");
      } else {
        ADD_FAILURE() << "glyph \\(" << glyph << " not understood in: " << text;
      }
    } else {
      ADD_FAILURE() << "escape \\" << e << " not understood in: " << text;
    }
  }
  return out;
}

// The arguments of a macro line, with double quotes grouping words.
Lines MacroArguments(const std::string& line) {
  Lines args;
  size_t i = line.find(' ');
  while (i != std::string::npos && i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) break;
    std::string arg;
    if (line[i] == '"') {
      const size_t end = line.find('"', i + 1);
      arg = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? end : end + 1;
    } else {
      const size_t end = line.find(' ', i);
      arg = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
      i = end;
    }
    args.push_back(arg);
  }
  return args;
}

// One line of running text: a font macro (.B, .I, .BI, .RB, ...) or plain text.
std::string RenderLine(const std::string& line) {
  if (!line.starts_with(".")) return Unescape(line, false);
  const std::string macro = line.substr(1, line.find(' ') - 1);
  const Lines args = MacroArguments(line);
  std::string out;
  // .B and .I put spaces between their words; the two-font macros join theirs.
  const bool alternating = macro.size() == 2;
  for (size_t k = 0; k < args.size(); ++k) {
    if (k > 0 && !alternating) out += ' ';
    out += Unescape(args[k], false);
  }
  return out;
}

// The synopsis lines as a reader sees them, from the .SY/.OP/.B/.I/.YS macros.
Lines ManSynopsis() {
  Lines rendered;
  std::string current;
  for (const std::string& line : Section("SYNOPSIS")) {
    const Lines args = MacroArguments(line);
    if (line.starts_with(".SY ")) {
      current = Unescape(args.at(0), false);
    } else if (line.starts_with(".OP ")) {
      current += " [" + Unescape(args.at(0), false);
      if (args.size() > 1) current += " " + Unescape(args[1], false);
      current += "]";
    } else if (line.starts_with(".B ") || line.starts_with(".I ")) {
      current += " " + RenderLine(line);
    } else if (line == ".YS") {
      rendered.push_back(current);
    } else if (line != ".") {
      ADD_FAILURE() << "synopsis line not understood: " << line;
    }
  }
  return rendered;
}

// The command line the usage text shows: the program and "-f hive_path" from
// its first line, then the bracketed option that starts each option line.
std::string UsageSynopsis() {
  const Lines usage = SplitLines(Narrow(MSG_USAGE));
  const std::string head = "Usage : ";
  EXPECT_TRUE(usage.at(0).starts_with(head));
  std::string first = usage[0].substr(head.size());
  first = first.substr(0, first.find(" [-options]"));
  // The usage text names the program as Windows would run it; the page names
  // the installed command.
  if (first.starts_with("keyscout.exe ")) first.erase(8, 4);
  std::string synopsis = first;
  for (const std::string& line : usage) {
    if (line.starts_with("\t[")) synopsis += " " + line.substr(1, line.find(']') - line.find('[') + 1);
  }
  return synopsis;
}

// "-k key_path" for each option the synopsis shows, in its order.
Lines OptionsOf(const std::string& synopsis) {
  Lines options;
  std::istringstream words(synopsis);
  std::string word;
  words >> word;  // the program
  while (words >> word) {
    const bool opens = word.starts_with("[");
    if (opens) word.erase(0, 1);
    while (!word.empty() && word.back() == ']') word.pop_back();
    if (word.starts_with("-")) {
      options.push_back(word);
    } else if (!options.empty()) {
      options.back() += " " + word;
    }
  }
  return options;
}

// The tags of the option list (each line after .TP) in the OPTIONS section.
Lines ManOptionTags() {
  Lines tags;
  const Lines lines = Section("OPTIONS");
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] == ".TP") tags.push_back(RenderLine(lines[i + 1]));
  }
  return tags;
}

// The lines of a README section ("## Title" up to the next "## ").
Lines ReadmeSection(const std::string& title) {
  Lines lines;
  bool inside = false;
  for (const std::string& line : ReadLines(SourceTree() / "README.md")) {
    if (line.starts_with("## ")) {
      inside = line == "## " + title;
    } else if (inside) {
      lines.push_back(line);
    }
  }
  EXPECT_FALSE(lines.empty()) << "README has no section " << title;
  return lines;
}

TEST(ManPageTest, SynopsisShowsTheUsageTextAndHelp) {
  const std::string usage = UsageSynopsis();
  EXPECT_EQ(usage,
            "keyscout -f hive_path [-k key_path] [-v value_name] [-l] [-e] [-s] [-w output_file] [-i] [-d] [-u] [-t] "
            "[-x format] [-U] [-L log_path] [-r]");
  EXPECT_EQ(ManSynopsis(), (Lines{usage, "keyscout -h"}));
}

TEST(ManPageTest, OptionListDocumentsExactlyWhatTheParserAccepts) {
  Lines expected = OptionsOf(UsageSynopsis());
  expected.push_back("-h");
  const Lines tags = ManOptionTags();
  EXPECT_EQ(tags, expected);

  // Each documented option, with a dummy argument where it takes one, does
  // what the page says: it sets a bit of its own, or asks for the usage text.
  uint32_t bits_seen = 0;
  for (const std::string& tag : tags) {
    std::vector<std::u16string> words{u"keyscout", u"-f", u"hive"};
    const std::string option = tag.substr(0, tag.find(' '));
    words.emplace_back(option.begin(), option.end());
    if (tag.find(' ') != std::string::npos) words.push_back(u"argument");
    RunOptions options;
    const ParseVerdict verdict = ParseCommandLine(words, &options);
    if (option == "-h") {
      EXPECT_EQ(verdict, ParseVerdict::kUsageRequested);
      continue;
    }
    const uint32_t bit = options.flags & ~OPT_FILE;
    EXPECT_EQ(verdict, ParseVerdict::kRun) << option;
    EXPECT_TRUE(option == "-f" || (bit != 0 && (bit & bits_seen) == 0)) << option << " sets no bit of its own";
    bits_seen |= bit;
  }
}

TEST(ManPageTest, ReadmeCommandLineSaysTheSame) {
  const Lines section = ReadmeSection("Command line");
  // The first code block is the synopsis.
  Lines block;
  bool in_block = false;
  for (const std::string& line : section) {
    if (line.starts_with("```")) {
      if (in_block) break;
      in_block = true;
    } else if (in_block) {
      block.push_back(line);
    }
  }
  EXPECT_EQ(block, ManSynopsis());

  // The option table has one row per option of the page, in its order.
  Lines rows;
  const std::regex row(R"(^\| `([^`]+)` \|.*)");
  std::smatch m;
  for (const std::string& line : section) {
    if (std::regex_match(line, m, row)) rows.push_back(m[1]);
  }
  EXPECT_EQ(rows, ManOptionTags());
}

// The layouts in the OUTPUT section, each line as a pattern.
std::vector<std::regex> OutputLayouts() {
  std::vector<std::regex> layouts;
  bool in_example = false;
  for (const std::string& line : Section("OUTPUT")) {
    if (line == ".EX") {
      in_example = true;
    } else if (line == ".EE") {
      in_example = false;
    } else if (in_example) {
      layouts.emplace_back(Unescape(line, true));
    }
  }
  return layouts;
}

// Every line a run prints after the banner matches a layout of the OUTPUT
// section, except the hex dump's own lines, which the page describes in words
// (they end where the decoded data or the dump file's lines begin).
void ExpectEveryLineDocumented(const test::RunResult& run) {
  static const std::vector<std::regex> layouts = OutputLayouts();
  ASSERT_FALSE(layouts.empty());
  const std::string banner = test::Banner();
  ASSERT_TRUE(run.out.starts_with(banner));
  EXPECT_EQ(run.code, 0) << run.out;
  const std::string rule = SplitLines(Narrow(MSG_VALUE_RULE)).at(0);
  const std::string decoded = SplitLines(Narrow(MSG_DECODED_TITLE)).at(0);
  bool in_hex_dump = false;
  size_t checked = 0;
  for (const std::string& line : SplitLines(run.out.substr(banner.size()))) {
    if (line == rule) {
      in_hex_dump = true;
    } else if (in_hex_dump && (line == decoded || line.starts_with("Start dump value"))) {
      in_hex_dump = false;
    }
    if (in_hex_dump && line != rule) continue;
    bool documented = false;
    for (const std::regex& layout : layouts) documented = documented || std::regex_match(line, layout);
    EXPECT_TRUE(documented) << "no layout in OUTPUT for the line: [" << line << "]";
    ++checked;
  }
  EXPECT_GT(checked, 30u);
}

TEST(ManPageTest, OutputSectionShowsTheLayoutOfEveryLinePrinted) {
  // The sample key carries owner, group, SACL and DACL entries (some for SIDs
  // no table names) and values of every type, an unnamed one among them: a
  // list of texts, the unnamed text and a number, decoded; -t adds the status
  // line.
  const std::string dump = test::TempDir() + "/man-page-dump.bin";
  for (const std::vector<std::string>& value : std::vector<std::vector<std::string>>{
           {"-v", "BootExecute", "-w", dump}, {"-u"}, {"-v", "LastBootTime"}}) {
    std::vector<std::string> args{"-f", "sample", "-t", "-k", "ControlSet001\\Control\\Session Manager", "-i",
                                  "-s", "-l", "-e", "-d"};
    args.insert(args.end(), value.begin(), value.end());
    ExpectEveryLineDocumented(test::RunWith(test::BuildSampleHive(), args));
  }
}

TEST(ManPageTest, OutputSectionShowsEveryFormOfTheLogStatusLine) {
  std::vector<RecoverySummary> forms(7);
  forms[1].state = RecoveryState::kNoUsableLog;
  for (size_t i = 2; i < forms.size(); ++i) forms[i].state = RecoveryState::kApplied;
  forms[2].applied = {{0, u"SYSTEM.LOG1", 1}};
  forms[3].applied = {{0, u"SYSTEM.LOG1", 2}, {1, u"SYSTEM.LOG2", 3}};
  forms[4].format = LogFormat::kOld;
  forms[4].applied = {{0, u"SYSTEM.LOG", 0}};
  forms[4].pages = 1;
  forms[5] = forms[4];
  forms[5].pages = 64;
  forms[6] = forms[2];
  forms[6].gap_from = 6;
  const std::vector<std::regex> layouts = OutputLayouts();
  for (const RecoverySummary& form : forms) {
    test::StringSink sink;
    {
      Console out(sink);
      PrintLogStatus(form, out);
    }
    const std::string line = sink.text.substr(0, sink.text.size() - 1);  // without the line end
    bool documented = false;
    for (const std::regex& layout : layouts) documented = documented || std::regex_match(line, layout);
    EXPECT_TRUE(documented) << "no layout in OUTPUT for the line: [" << line << "]";
  }
}

// Every field of a JSON Lines export, of keys, values and damage alike, has
// its own entry in FORMATS, and FORMATS has none the export does not write.
TEST(ManPageTest, FormatsSectionDocumentsEveryJsonField) {
  std::set<std::string> documented;
  const Lines lines = Section("FORMATS");
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if ((lines[i] == ".TP" || lines[i] == ".TQ") && lines[i + 1].starts_with(".B ")) {
      documented.insert(RenderLine(lines[i + 1]));
    }
  }
  // The sample hive's keys and values, an unnamed value among them, and a
  // key with a class name whose value and list cannot be read.
  std::string records = test::RunWith(test::BuildSampleHive(), {"-f", "s", "-x", "jsonl"}).out;
  test::HiveBuilder b;
  const uint32_t lost = b.Value(test::ValueSpec{.name = u"L", .data_size = 8, .data_offset = 0x7FFFFFF0});
  const uint32_t list = b.ValueList({lost});
  const uint32_t class_name = b.DataCell(test::Utf16Le(u"C"));
  b.SetRoot(b.Key(test::KeySpec{.name = u"R", .stable_count = 1, .stable_list = 0x7FFFFFF0, .value_count = 1,
                                .value_list = list, .class_name = class_name, .class_length = 2}));
  records += test::RunWith(b.Finish(), {"-f", "s", "-x", "jsonl"}).out;
  // With -r: a deleted key whose parent is no key, holding a value whose
  // data cell is a live key now.
  test::HiveBuilder d;
  const uint32_t root = d.Key(test::KeySpec{.name = u"R"});
  d.SetRoot(root);
  const uint32_t reused = d.Value(test::ValueSpec{.name = u"V", .type = 3, .data_size = 8, .data_offset = root});
  d.Key(test::KeySpec{.name = u"K", .parent = reused, .value_count = 1,
                                            .value_list = d.ValueList({reused}), .last_written = 132223104001234567});
  const uint32_t end = d.cursor();
  test::Bytes deleted = d.Finish();
  test::MergeFreeCells(deleted, reused, end);
  records += test::RunWith(deleted, {"-f", "s", "-x", "jsonl", "-r"}).out;
  std::set<std::string> written;
  const std::regex field(R"re("([a-z_]+)":)re");
  for (auto it = std::sregex_iterator(records.begin(), records.end(), field); it != std::sregex_iterator(); ++it) {
    written.insert((*it)[1]);
  }
  EXPECT_TRUE(written.count("class") && written.count("unnamed") && written.count("raw") && written.count("error"));
  EXPECT_TRUE(written.count("parent_cell") && written.count("data_reused"));
  EXPECT_EQ(documented, written);
}

TEST(ManPageTest, ExitStatusListsEveryFailureMessage) {
  Lines tags;
  const Lines lines = Section("EXIT STATUS");
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] == ".TP") tags.push_back(RenderLine(lines[i + 1]));
  }
  for (const char16_t* message :
       {MSG_CANNOT_OPEN_TARGET, MSG_CANNOT_MAP_TARGET, MSG_CANNOT_MAP_MEMORY, MSG_CANNOT_FIND_KEY,
        MSG_CANNOT_READ_SECURITY, MSG_CANNOT_FIND_VALUE, MSG_CANNOT_READ_VALUE, MSG_CANNOT_CREATE_DUMP,
        MSG_CANNOT_WRITE_DUMP, MSG_OUT_OF_MEMORY}) {
    std::string text = Narrow(message);
    text.pop_back();  // the line end
    // "(%s)" names what failed; the page names it with a placeholder word.
    const std::string pattern = std::regex_replace(
        std::regex_replace(text, std::regex(R"([.()])"), R"(\$&)"), std::regex(R"(%s)"), R"([a-z_]+)");
    bool listed = false;
    for (const std::string& tag : tags) listed = listed || std::regex_match(tag, std::regex(pattern));
    EXPECT_TRUE(listed) << "EXIT STATUS does not list: " << text;
  }
}

// A tag of DIAGNOSTICS (a .B or .BI line) as a pattern: its bold words as
// they stand, its italic placeholders as any text.
std::string TagPattern(const std::string& line) {
  const Lines args = MacroArguments(line);
  std::string pattern;
  for (size_t k = 0; k < args.size(); ++k) {
    if (line.starts_with(".BI ") && k % 2 == 1) {
      pattern += ".*";
      continue;
    }
    for (const char c : Unescape(args[k], false)) {
      if (std::string_view(".^$|()[]{}*+?\\").find(c) != std::string_view::npos) pattern += '\\';
      pattern += c;
    }
  }
  return pattern;
}

TEST(ManPageTest, DiagnosticsListsEveryLineOfStandardError) {
  std::vector<std::regex> tags;
  const Lines lines = Section("DIAGNOSTICS");
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    // A tag may stand for lines that go on with a hint or a cause.
    if (lines[i] == ".TP" || lines[i] == ".TQ") tags.emplace_back(TagPattern(lines[i + 1]) + ".*");
  }
  const auto join = [](std::u16string_view a, std::u16string_view b) { return std::u16string(a) + std::u16string(b); };
  for (const std::u16string& message :
       {std::u16string(MSG_NOTE_NOT_AN_OPTION), std::u16string(MSG_NOTE_OTHER_CASE), std::u16string(MSG_NOTE_JOINED),
        std::u16string(MSG_NOTE_NO_ARGUMENT), std::u16string(MSG_NOTE_REPLACED), std::u16string(MSG_NOTE_TOO_MANY_LOGS),
        std::u16string(MSG_NOTE_DECODE_WITHOUT_VALUE), std::u16string(MSG_NOTE_DUMP_WITHOUT_VALUE),
        std::u16string(MSG_NOTE_UNNAMED_AND_VALUE), std::u16string(MSG_NOTE_RECOVER_WITHOUT_EXPORT),
        std::u16string(MSG_NOTE_CANNOT_OPEN),
        std::u16string(MSG_NOTE_CANNOT_MAP), std::u16string(MSG_NOTE_CANNOT_CREATE),
        std::u16string(MSG_NOTE_CANNOT_WRITE), std::u16string(MSG_NOTE_NO_PRIVATE_VIEW),
        std::u16string(MSG_NOTE_NOT_A_HIVE), std::u16string(MSG_NOTE_DIRTY), std::u16string(MSG_NOTE_DIRTY_CHECKSUM),
        std::u16string(MSG_NOTE_TRUNCATED), std::u16string(MSG_NOTE_SHORT_SUBKEYS),
        std::u16string(MSG_NOTE_SHORT_VALUES), join(MSG_NOTE_KEY, MSG_NOTE_NO_SUBKEY),
        join(MSG_NOTE_ROOT_KEY, MSG_NOTE_NO_SUBKEY), join(MSG_NOTE_KEY, MSG_NOTE_LIST_DAMAGED),
        join(MSG_NOTE_KEY, MSG_NOTE_KEY_DAMAGED), std::u16string(MSG_NOTE_NAME_TOO_LONG),
        std::u16string(MSG_NOTE_ROOT_DAMAGED), std::u16string(MSG_NOTE_NO_CONTROL_SET),
        std::u16string(MSG_NOTE_CONTROL_SET), std::u16string(MSG_NOTE_LOG_NOT_APPLIED),
        std::u16string(MSG_NOTE_LOG_CUT_SHORT), std::u16string(MSG_LOGS_GAP_NOTE)}) {
    std::string text = std::regex_replace(Narrow(message), std::regex("%(s|u|08X)"), "X");
    if (text.ends_with("\n")) text.pop_back();
    bool listed = false;
    for (const std::regex& tag : tags) listed = listed || std::regex_match(text, tag);
    EXPECT_TRUE(listed) << "DIAGNOSTICS does not list: " << text;
  }
}

}  // namespace
}  // namespace keyscout
