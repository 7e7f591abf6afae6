#pragma once
// Pictures of the sample catalogue, drawn on demand.
#include "SampleCatalogue.h"

#include <string>

namespace service {

constexpr int kThumbWidth = 186, kThumbHeight = 120;
constexpr int kDetailWidth = 480, kDetailHeight = 300;

// PNG bytes of a template's thumbnail or detail picture.
std::string DrawThumbnail(const TemplateRecord& t, const char* subcategory);
std::string DrawDetail(const TemplateRecord& t, const char* subcategory);

}  // namespace service
