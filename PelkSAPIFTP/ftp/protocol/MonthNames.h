// Month names as ls and servers print them under other locales: English,
// German, French, Spanish, Italian, Dutch, Portuguese, the Nordic languages
// and Finnish, Polish, Czech, Russian, Hungarian and Turkish; abbreviated or
// whole ("Juli", "janv.", "szept", "июля"), in either case for ASCII letters,
// with a dot or comma after it or not.
#pragma once

#include <string_view>

namespace sapi::ftpclient {

bool IsMonthName(std::string_view word);

}  // namespace sapi::ftpclient
