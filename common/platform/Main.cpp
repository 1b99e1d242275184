// Process entry: decodes the arguments and hands them to the program's
// wide entry point.
#include <string>
#include <vector>

#include "common/platform/Main.h"
#include "common/platform/Text.h"

int main(int argc, char** argv)
{
    std::vector<std::wstring> args;
    args.reserve(static_cast<size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) {
        args.push_back(platform::DecodeText(std::string(argv[i])));
    }
    std::vector<wchar_t*> pointers;
    for (std::wstring& a : args) {
        pointers.push_back(&a[0]);
    }
    pointers.push_back(nullptr);
    return wmain(argc, pointers.data());
}
