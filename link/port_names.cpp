#include "link/port_names.h"

#include <climits>
#include <cstdint>

int com_port_number(std::wstring_view name) {
  if (name.size() < 4 || name.compare(0, 3, L"COM") != 0) return -1;
  int64_t n = 0;
  std::size_t i = 3;
  for (; i < name.size() && name[i] >= L'0' && name[i] <= L'9'; ++i) {
    n = n * 10 + (name[i] - L'0');
    if (n > INT_MAX) return -1;
  }
  return i == 3 ? -1 : static_cast<int>(n);
}
