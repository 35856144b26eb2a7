// The notification e-mail for a file that is too old.
#pragma once

namespace veltrum {

void sendMailNotification();

}  // namespace veltrum
