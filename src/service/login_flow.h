#pragma once
#include "service/flow_context.h"

namespace sucaigang {

// Signs in with the texts of 编辑框_user and 编辑框_pass, shows the account in 分组框2, keeps
// AccountUser/AccountPass and saves the credentials. Runs on a thread of its own; a run whose
// 透明标签_登陆提示 does not read "正在登陆，请稍等" is a silent refresh.
void LoginFlow(const FlowContext& context);

}  // namespace sucaigang
