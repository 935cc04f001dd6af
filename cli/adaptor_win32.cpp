// The adaptor on Windows: the comm API tells nothing of a USB adaptor's kind or
// latency timer, so nothing is known and the port listing shows what it always
// has; the latency timer is set in the port's driver properties.
#include "cli/adaptor.h"

std::string AdaptorRoot() { return {}; }

AdaptorInfo DescribeAdaptor(const std::string&) { return {}; }

AdaptorInfo DescribeAdaptor(const std::string&, const std::string&) { return {}; }

std::string BeginLowLatency(const std::string&) {
  return "в Windows kv4t не меняет таймер задержки USB-адаптера: он задаётся в диспетчере "
         "устройств (свойства порта, «Дополнительно»)";
}

std::string EndLowLatency() { return {}; }
