#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// The parsers that read bytes from outside the program, each driven the way the program drives it. An
/// entry takes any bytes and returns 0; a fault shows as a crash, a hang or a sanitizer report. The
/// libFuzzer programs and the replay of the seed corpus call the same entries.
namespace fuzz
{
using Entry = int (*)(const std::uint8_t* data, std::size_t size);

struct Target
{
    /// Also the name of its folder of seed inputs under tests/fuzz/corpus.
    std::string name;
    Entry entry;
};

/// Every target, in a fixed order.
const std::vector<Target>& Targets();

/// The entry of the target called `name`; null when there is none.
Entry Find(const std::string& name);
} // namespace fuzz
