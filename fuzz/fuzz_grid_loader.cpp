#include "Harnesses.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return tervala::fuzz::fuzzGridLoader(data, size);
}
