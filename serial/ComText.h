// Text forms of the port settings, as used by settings storage. Texts are compared without
// regard to ASCII letter case; a text that matches nothing gives the enumeration's fallback.
#pragma once

#include "serial/ComTypes.h"

#include <string>

std::string BaudRateToText(TBaudRate value);
std::string StopBitsToText(TStopBits value);
std::string DataBitsToText(TDataBits value);
std::string ParityToText(TParityBits value);
std::string FlowControlToText(TFlowControl value);
std::string DTRControlToText(TDTRFlowControl value);
std::string RTSControlToText(TRTSFlowControl value);

TBaudRate BaudRateFromText(const std::string& text);
TStopBits StopBitsFromText(const std::string& text);
TDataBits DataBitsFromText(const std::string& text);
TParityBits ParityFromText(const std::string& text);
TFlowControl FlowControlFromText(const std::string& text);
TDTRFlowControl DTRControlFromText(const std::string& text);
TRTSFlowControl RTSControlFromText(const std::string& text);

// "Yes" / "No"; only "YES" in any letter case reads as true.
std::string BoolToText(bool value);
bool BoolFromText(const std::string& text);
// Codes 33..127 as the character itself, every other code as "#" and its decimal value.
std::string CharToText(char value);
char CharFromText(const std::string& text);

// Bits per second of a rate value; brCustom has none and gives 0.
std::uint32_t BaudRateValue(TBaudRate value);
