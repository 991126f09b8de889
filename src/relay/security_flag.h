#pragma once

// The process-wide "/nosecurity" switch: when set, the relay neither
// encrypts upstream data with Twofish nor uses TLS.
void SetSecurityDisabled(bool disabled);
bool IsSecurityDisabled();
