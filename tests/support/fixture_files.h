#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Fixture certificates (certificate_fixtures/, made by make_fixtures.py; copied next to the test
// programs) and the product log file a test reads back.

std::vector<uint8_t> FixtureDer(const std::string& stem);
std::string FixtureBase64(const std::string& stem);

// True when the log file in `directory` holds the line "[TAG] message".
bool LogHasLine(const std::string& directory, const std::string& tag, const std::string& message);
