#pragma once
// Word documents (.docx) of the sample catalogue's templates.
#include "SampleCatalogue.h"

#include <string>

namespace service {

// Writes a WordprocessingML document for the template to `path`; false on failure.
bool WriteTemplateDocx(const std::string& path, const TemplateRecord& t, const char* subcategory,
                       int tab);

}  // namespace service
