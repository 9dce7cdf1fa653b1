#include "core/config/Configuration.h"
#include "core/config/ConfigurationReader.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& directory = cantorel::fuzz::workDirectory();
    cantorel::Configuration configuration = cantorel::Configuration::defaults(directory);
    // Whether the text is a valid configuration does not matter here, only that reading it is safe.
    (void)cantorel::ConfigurationReader(configuration, directory)
        .readText(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
