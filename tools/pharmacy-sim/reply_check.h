#pragma once
#include <string>

// Why reply data cannot be the answer to the claim with this prescription
// number; empty when it can.
std::string CheckReplyData(const std::string& reply, unsigned rxNumber, bool expectPaid);
