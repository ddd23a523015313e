// Turns the calling thread's permission-override capabilities off and on again.
#include "support/file_permissions.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr unsigned kOverrideCaps = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool Capabilities(__user_cap_data_struct (&data)[2], bool set) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

}  // namespace

HonourFilePermissions::HonourFilePermissions() {
  __user_cap_data_struct data[2] = {};
  if (!Capabilities(data, false) || !(data[0].effective & kOverrideCaps)) return;
  saved_effective_ = data[0].effective;
  data[0].effective &= ~kOverrideCaps;
  changed_ = Capabilities(data, true);
}

HonourFilePermissions::~HonourFilePermissions() {
  __user_cap_data_struct data[2] = {};
  if (!changed_ || !Capabilities(data, false)) return;
  data[0].effective = saved_effective_;
  Capabilities(data, true);
}
