#pragma once

// Everything that is said to the class service and read back from it: the
// percent encodings, the request bodies and URLs, and the reply readers.
#include "session/JsonReply.h"
#include "session/PercentEncoding.h"
#include "session/ServiceReplies.h"
#include "session/ServiceRequests.h"
#include "session/ServiceUrls.h"
