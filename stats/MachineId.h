#pragma once
// The machine identifier sent with the statistics reports: MD5 of the processor
// identification and the first network adapter's hardware address, kept in "App.dat".
#include <string>

#include "platform/api/win.h"

// The identifier of this machine; the first call reads (or computes and stores) it,
// later calls return the value kept in memory.
std::u16string GetMachineId();

// Reads "Mid" of section "Local" from a settings file; computes and writes it there
// when it is missing or empty.
std::u16string LoadMachineId(LPCWSTR settingsFile);

// The identifier of the hardware, without touching any file.
std::u16string ComputeMachineId();

// The adapter part: 12 uppercase hexadecimal digits, or "".
std::string GetAdapterAddressText();

// The processor part into a 4096-byte buffer; false (buffer unchanged) when the
// processor cannot identify itself.
bool GetProcessorText(char* buffer);

// Lowercase hexadecimal MD5 of a zero-terminated string into a 1024-byte buffer.
void Md5Hex(const char* text, char* buffer);

// The parts' forms and the hash input, from given values.
void FormatProcessorText(char* buffer, const int leaf0[4], const int leaf1[4]);
std::string FormatAdapterAddress(const BYTE address[6]);
std::string BuildMachineIdInput(const char* processorPart, const std::string& adapterPart);
std::u16string MachineIdFromInput(const std::string& input);
