#pragma once

#include "ksp_test_support.h"

// The certificates every provider test can rely on, installed into the personal store before
// the first test and removed after the last.
FixtureSet& Fixtures();

// Common names of the fixtures (see fixtures/generate_fixtures.py).
extern const wchar_t kAccentedCommonName[];
extern const wchar_t kTwinCommonName[];
extern const wchar_t kForeignCommonName[];
extern const wchar_t kContainerName[];
