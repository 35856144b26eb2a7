// The name the client greets a server with (HELO/EHLO). Servers hardened
// against spam refuse a name that is not fully qualified, so it can be set;
// unset, it stays "Mailwerk".
#pragma once

#include <string>

namespace veltrum {

// A host name (labels of letters, digits and "-", 1 to 63 characters each,
// joined by "."; 253 characters in all; one label is allowed) or an address
// literal "[192.0.2.1]" / "[IPv6:2001:db8::1]".
bool validGreetingName(const std::string& name);

}  // namespace veltrum
