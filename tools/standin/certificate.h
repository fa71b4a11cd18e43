#pragma once
// A self-signed certificate for 127.0.0.1 and localhost, made at start, for the stand-in
// service and for test servers. Never used by the client itself.
#include <string>

namespace sucaigang::standin {

struct Certificate {
  std::string certificatePem;
  std::string privateKeyPem;
  std::string certificateFile;  // PEM files in a private temporary folder, removed at exit
  std::string privateKeyFile;
};

// Made once per process (RSA 2048, valid for a day), then shared.
const Certificate& SelfSignedCertificate();

}  // namespace sucaigang::standin
