// zaro-session-preview INPUT OUTPUT: one preview request, served by the host.
#include <span>

#include "host/extension_main.hpp"
#include "preview/preview_provider.hpp"

int main(int argc, char** argv)
{
    return zaro::extensionMain(std::span<char* const>(argv, static_cast<std::size_t>(argc)), zaro::previewExtension());
}
