#include "actions/mail_notification.h"

namespace veltrum {

void sendMailNotification() {}

}  // namespace veltrum
