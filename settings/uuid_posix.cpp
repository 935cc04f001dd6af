#include "settings/uuid.h"

bool GuidToText(const Guid& guid, std::string& text) {
  text = PortableGuidToText(guid);
  return true;
}

bool GuidFromText(std::string_view text, Guid& guid) { return PortableGuidFromText(text, guid); }
