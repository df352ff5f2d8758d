// The README's examples are run as written: every ```console block is a session in a fresh
// directory, each "$ " line a command (with its here-document or "\" continuation lines), and
// the lines up to the next command the output it must print, standard error included.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "runner.h"

using namespace zqhosttest;

namespace {

struct Command {
  int line;  // in the README, from 1
  std::string text, expected;
};

struct Block {
  int line;
  std::vector<Command> commands;
};

// The delimiter of a here-document the command starts ("<<'EOF'", "<<EOF"), else "".
std::string hereDocumentEnd(const std::string& command) {
  const size_t at = command.find("<<");
  if (at == std::string::npos) return "";
  size_t i = at + 2;
  while (i < command.size() && (command[i] == ' ' || command[i] == '-')) ++i;
  if (i < command.size() && (command[i] == '\'' || command[i] == '"')) ++i;
  std::string word;
  while (i < command.size() &&
         (isalnum(static_cast<unsigned char>(command[i])) || command[i] == '_'))
    word += command[i++];
  return word;
}

std::vector<Block> consoleBlocks(const std::string& readme) {
  std::vector<Block> blocks;
  std::istringstream in(readme);
  std::string line;
  int number = 0;
  bool inside = false, fenced = false;
  while (std::getline(in, line)) {
    ++number;
    if (line.compare(0, 3, "```") == 0) {
      if (fenced) {
        fenced = inside = false;
      } else {
        fenced = true;
        inside = line == "```console";
        if (inside) blocks.push_back({number, {}});
      }
      continue;
    }
    if (!inside) continue;
    Block& block = blocks.back();
    if (line.compare(0, 2, "$ ") == 0) {
      Command c{number, line.substr(2), ""};
      // Continuation lines and here-documents belong to the command.
      while (!c.text.empty() && c.text.back() == '\\' && std::getline(in, line)) {
        ++number;
        c.text += "\n" + line;
      }
      const std::string end = hereDocumentEnd(c.text);
      while (!end.empty() && std::getline(in, line)) {
        ++number;
        c.text += "\n" + line;
        if (line == end) break;
      }
      block.commands.push_back(c);
    } else if (!block.commands.empty()) {
      block.commands.back().expected += line + "\n";
    } else {
      ADD_FAILURE() << "README line " << number << ": output before any command";
    }
  }
  return blocks;
}

std::string withoutTrailingSpace(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    out += line + "\n";
  }
  while (out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") == 0) out.pop_back();
  return out == "\n" ? "" : out;
}

std::string readme() {
  std::ifstream file(ZQ_SOURCE_DIR "/README.md");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A heading's anchor as Markdown renderers make it: lower case, letters, digits, "-" and "_"
// kept, spaces made "-", everything else dropped.
std::string anchorOf(const std::string& heading) {
  std::string out;
  for (char c : heading) {
    if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c + 32);
    else if (isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_')
      out += c;
    else if (c == ' ')
      out += '-';
  }
  return out;
}

TEST(Readme, EveryLinkWithinItFindsItsHeading) {
  const std::string text = readme();
  std::set<std::string> anchors;
  std::istringstream lines(text);
  std::string line;
  bool fenced = false;
  while (std::getline(lines, line)) {
    if (line.compare(0, 3, "```") == 0) fenced = !fenced;
    if (!fenced && line[0] == '#') anchors.insert(anchorOf(line.substr(line.find(' ') + 1)));
  }
  const std::regex link(R"(\]\(#([^)]+)\))");
  int links = 0;
  for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it, ++links)
    EXPECT_EQ(anchors.count((*it)[1].str()), 1u) << "#" << (*it)[1].str();
  EXPECT_GE(links, 20);
}

TEST(Readme, ConsoleExamplesPrintWhatTheyShow) {
  // The examples show what the 64-bit build prints (its version answer, $is64Bit, the numbers
  // of DES method 0); the 32-bit build's differences are listed in the README's Platforms.
  if (sizeof(void*) != 8) GTEST_SKIP() << "the README's examples show the 64-bit build";
  const std::string text = readme();
  const std::vector<Block> blocks = consoleBlocks(text);
  size_t commands = 0;
  for (const Block& block : blocks) {
    const std::string dir = makeTempDir();
    for (const Command& c : block.commands) {
      ++commands;
      const Result r = runShell("exec 2>&1\n" + c.text + "\n", dir);
      EXPECT_EQ(withoutTrailingSpace(r.out), withoutTrailingSpace(c.expected))
          << "README line " << c.line << ": $ " << c.text;
    }
    removeTree(dir);
  }
  // The README teaches by these examples; an extraction that finds few is itself broken.
  EXPECT_GE(blocks.size(), 15u);
  EXPECT_GE(commands, 40u);
}

}  // namespace
