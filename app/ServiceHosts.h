#pragma once
// The three web hosts outside the program: each "host" or "host:port".
#include <string>

std::u16string GetServiceHost();
std::u16string GetHomeHost();
std::u16string GetForumHost();

// "http://" + the service host + "/".
std::u16string GetServiceBaseUrl();
