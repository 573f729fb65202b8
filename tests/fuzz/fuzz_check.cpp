// libFuzzer: `vokta4-cli check` and `convert` on arbitrary files.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unistd.h>

#include "frontends/cli/commands.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reports go nowhere; only crashes and wrong exit codes matter.
    (void)!std::freopen("/dev/null", "w", stdout);
    std::cerr.rdbuf(nullptr);  // the tool's notes; libFuzzer's own reports still reach stderr
    ::setenv("VOKTA4_PORTS", "", 1);  // convert's output check lists no ports (and scans no system)
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string dir = [] {
        char tmpl[] = "/tmp/vokta4-fuzz-XXXXXX";
        return std::string(::mkdtemp(tmpl));
    }();
    const std::string input = dir + "/in.002", output = dir + "/out.bin";
    std::ofstream(input, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                   static_cast<std::streamsize>(size));
    std::remove(output.c_str());
    const int check = RunCheck(input);
    const int convert = RunConvert(input, output, false);
    if ((check != 0 && check != 1) || check != convert)
        std::abort();
    std::ifstream image(output, std::ios::binary | std::ios::ate);
    if (convert == 0 ? static_cast<long>(image.tellg()) != 131072 : image.good())
        std::abort();
    return 0;
}
