// How a network wait ended.
#pragma once

namespace sapi::ftpclient {

enum class NetStatus { Ok, Timeout, Closed, Failed };

}  // namespace sapi::ftpclient
