// The render demo's document through the DC stand-in (demo_dc.cpp).
#pragma once

#include <string>
#include <vector>

#include "kplatform/wintypes.h"

bool DemoPrintThroughDc(const char16_t* printerName, const std::string& out, unsigned pages);
// One page with a bitmap stamp and the document name in its header, the
// stamp's picture written below the platform root; the stream goes to out.
bool DemoStampThroughDc(const char16_t* printerName, const std::vector<BYTE>& createDcDevmode,
                        const std::string& root, const std::string& out);
