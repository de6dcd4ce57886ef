// The whole seam, for programs that want every call.
#pragma once

#include "platform/accounts.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/netapi.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/token.h"
#include "platform/types.h"
#include "platform/wnet.h"
