#pragma once
// The values that live as long as the process: the account of the last successful login and the
// countdown of the 解析 button. Start-up makes one and hands it to the flows; tests make their own.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "text/text.h"

namespace sucaigang {

class SessionValues {
 public:
  struct Account {
    Text user;  // URL-encoded through UTF-8; empty: nobody is logged in
    Text pass;  // the password value the service returned at login
  };

  SessionValues() = default;
  SessionValues(const SessionValues&) = delete;
  SessionValues& operator=(const SessionValues&) = delete;

  Text AccountUser() const;
  Text AccountPass() const;
  // Both together, so that a parse run never pairs one login's user with another's password.
  Account ReadAccount() const;
  void ReplaceAccount(Text user, Text pass);
  void SetAccountUser(Text user);
  void SetAccountPass(Text pass);

  // Seconds elapsed in the current countdown of 按钮_解析.
  std::atomic<std::int32_t> CountdownTicks{0};

 private:
  mutable std::mutex mutex_;
  Account account_;
};

}  // namespace sucaigang
