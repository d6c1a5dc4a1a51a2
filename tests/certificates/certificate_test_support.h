#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Fixture certificates (made by fixtures/make_fixtures.py) and the shared log file.

std::vector<uint8_t> FixtureDer(const std::string& stem);
std::string FixtureBase64(const std::string& stem);

// True when the log file in `directory` holds the line "[TAG] message".
bool LogHasLine(const std::string& directory, const std::string& tag, const std::string& message);
