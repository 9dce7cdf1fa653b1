#include "app/Configuration.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string file = cantorel::fuzz::writeInput("cantorel.ini", data, size);
    cantorel::LoadConfiguration(file, cantorel::fuzz::workDirectory());
    return 0;
}
