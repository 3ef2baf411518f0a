// The render demo's document through the DC stand-in (demo_dc.cpp).
#pragma once

#include <string>

bool DemoPrintThroughDc(const char16_t* printerName, const std::string& out, unsigned pages);
