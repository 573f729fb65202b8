#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "platform/data_file.h"
#include "test_support.h"

// Two processes appending at once: every line arrives whole, none is lost.
TEST(ServiceRecord, TwoProcessesAppendingAtOnceLoseNoLine)
{
    TempDir dir;
    const std::string path = dir.File("vokta4-history.jsonl");
    const int perProcess = 300;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        if (children[c] == 0) {
            std::string error;
            for (int i = 0; i < perProcess; ++i) {
                const std::string line =
                    "{\"writer\":" + std::to_string(c) + ",\"n\":" + std::to_string(i) + ",\"pad\":\"" +
                    std::string(static_cast<std::size_t>(200 + i % 50), 'x') + "\"}";
                if (!AppendLineLocked(path, line, error))
                    ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::ifstream in(path);
    std::string line;
    std::set<std::string> seen;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.front(), '{') << line.substr(0, 40);
        ASSERT_EQ(line.back(), '}') << line.substr(0, 40);
        seen.insert(line.substr(0, line.find(",\"pad\"")));
    }
    EXPECT_EQ(seen.size(), 2u * perProcess);
}
