// A child for the process tests: "--sleep=MS" sleeps, "--exit=N" exits with N; with
// QXTEST_CHILD_RECORD set it first appends its folder and arguments to that host file.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (const char* record = std::getenv("QXTEST_CHILD_RECORD"); record != nullptr) {
        std::ofstream out(record, std::ios::app);
        char cwd[4096] = {};
        out << "cwd=" << (::getcwd(cwd, sizeof(cwd)) != nullptr ? cwd : "?") << "\n";
        for (int i = 0; i < argc; ++i) {
            out << "arg=" << argv[i] << "\n";
        }
        out << "end\n";
    }
    int code = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--sleep=", 0) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(arg.c_str() + 8)));
        } else if (arg.rfind("--exit=", 0) == 0) {
            code = std::atoi(arg.c_str() + 7);
        }
    }
    return code;
}
