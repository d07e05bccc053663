// The golden pages of the repair tests: golden/<name>.in.htm and the
// expected golden/<name>.out.htm, read from the source tree.
#pragma once

#include <string>
#include <vector>

// The golden folder with a trailing separator (a Z:\ path under Wine).
std::string GoldenDir();

struct GoldenPage {
    std::string name, in, expected;
};
// Every golden page with its expected bytes, sorted by name; empty when the
// folder cannot be read.
std::vector<GoldenPage> GoldenPages();

bool ReadWholeFile(const std::string& path, std::string* pBytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
