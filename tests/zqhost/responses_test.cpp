// zqhost run answers recorded request batches byte for byte as it answered them when they were
// recorded: the protocol's exact text (escapes, number formats, error messages, the order of
// keys) is a contract, and this holds it whatever JSON machinery reads and writes the lines.
// Each line of responses.jsonl is one `zqhost run` process: its arguments, its standard input
// ("requests", or "requestsHex" for input that is not UTF-8), the response lines it wrote (null
// for a line that differs from run to run, such as a process id) and its exit status.
#include <gtest/gtest.h>

#include <fstream>

#include "runner.h"

using namespace zqhosttest;

namespace {

std::string fromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(text.substr(at, nl - at));
  lines.push_back(text.substr(at));
  return lines;
}

TEST(ZqhostResponses, RecordedBatchesAreAnsweredByteForByte) {
  // The recorded answers are the 64-bit build's ($is64Bit, the version answer).
  if (sizeof(void*) != 8) GTEST_SKIP() << "recorded with the 64-bit build";
  std::ifstream file(ZQ_SOURCE_DIR "/tests/zqhost/responses.jsonl");
  ASSERT_TRUE(file) << "responses.jsonl";
  std::string line;
  size_t batches = 0, compared = 0;
  while (std::getline(file, line)) {
    const json batch = json::parse(line);
    ++batches;
    const std::vector<std::string> args = batch["args"];
    const std::string input = batch.contains("requestsHex")
                                  ? fromHex(batch["requestsHex"].get<std::string>())
                                  : batch["requests"].get<std::string>();
    // In a scratch directory: some batches save files under relative paths.
    std::string command = "zqhost";
    for (const std::string& a : args) command += " '" + a + "'";
    const std::string dir = makeTempDir();
    const Result r = runShell(command, dir, input);
    removeTree(dir);
    EXPECT_EQ(r.status, batch["status"].get<int>()) << "batch " << batches << ": " << r.err;
    const std::vector<std::string> got = splitLines(r.out);
    const json& expected = batch["responses"];
    ASSERT_EQ(got.size(), expected.size()) << "batch " << batches << "\n" << r.out;
    const std::vector<std::string> requests = splitLines(input);
    for (size_t i = 0; i < got.size(); ++i) {
      if (expected[i].is_null()) continue;
      ++compared;
      EXPECT_EQ(got[i], expected[i].get<std::string>())
          << "batch " << batches << ", response " << i + 1 << " to "
          << (i < requests.size() ? requests[i].substr(0, 200) : "");
    }
  }
  EXPECT_GT(batches, 20u);
  EXPECT_GT(compared, 300u);
}

}  // namespace
