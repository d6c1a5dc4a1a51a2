#pragma once

#include <flutter/encodable_value.h>

// The provider self-test of the diagnostics: open the Murako KSP provider through CNG,
// enumerate its keys, open the first, read its length and sign a dummy hash with it (a real
// remote signature). The answer map carries "success", "certificateCount", "logs" and, when
// found, "certificates" and "keyLength"; only a provider that cannot be opened answers "error".
flutter::EncodableValue RunKspSelfTest();
