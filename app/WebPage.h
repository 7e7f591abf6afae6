#pragma once
// The embedded page: unpacking it into the page folder at start-up, and its
// address file js/url.js through which the program tells the page where the
// service is.
#include <string>

#include "platform/api/win.h"

void PrepareWebPage();
bool HasRequiredPageFiles();
bool ExtractConfigResource(HRSRC resource, LPCWSTR target);
bool UnzipToFolder(LPCWSTR archive, LPCWSTR folder);
void WriteUrlFileIfMissing();

// Writes js/url.js of the page folder with the three addresses; shared with the
// update check, which refreshes them from the service.
bool WriteUrlFile(const std::u16string& cloud, const std::u16string& more, const std::u16string& s);

// Default addresses of js/url.js.
std::u16string DefaultCloudUrl();
std::u16string DefaultMoreUrl();
std::u16string DefaultServiceUrl();
