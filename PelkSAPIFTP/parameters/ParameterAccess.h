// What the rest of the plug-in uses of the parameter sets.
#pragma once

#include <cstdint>

#include "base/ResultCode.h"
#include "platform/WideText.h"

namespace sapi {

// ApiInvalidArgument for a null key or an unregistered set, ApiParameterNotFound
// for an absent key; otherwise the value is assigned to `value` and ApiOk returned.
// On failure `value` is left as it was.
ResultCode ReadParameterText(int32_t parameterSet, const char *key, WideString &value);

// ApiInvalidArgument for a null key; ApiFailed for an unregistered set or a key
// already present (left unchanged); otherwise the key is added with `kind`.
ResultCode AddParameterIfAbsent(int32_t parameterSet, const char *key, int32_t kind,
                                const WideString &value);

// SetParameter as the host's slot does it: ApiInvalidArgument for a null key or
// value, ApiFailed for an unregistered set; a present key gets the new value and
// keeps its kind, an absent one is added with kind 0.
ResultCode SetParameterText(int32_t parameterSet, const char *key, const WideChar *value);

// RemoveParameter as the host's slot does it: ApiInvalidArgument for a null key,
// ApiFailed for an unregistered set, ApiParameterNotFound for an absent key.
ResultCode RemoveParameterEntry(int32_t parameterSet, const char *key);
// The plug-in's answer to the host under `key`: set to `text`, or removed when
// it is empty, so that an answer left from an earlier call never stands for
// this one. Failures (a set the host destroyed) are ignored.
void WriteOrRemoveParameter(int32_t parameterSet, const char *key, const WideString &text);

// GetParameter as the host's slot does it: ApiInvalidArgument for a null key, a
// null length or an unregistered set; ApiParameterNotFound for an absent key;
// otherwise the value goes out by the TextCopyOut rule.
ResultCode CopyParameterOut(int32_t parameterSet, const char *key, WideChar *destination, uint32_t *length);

}  // namespace sapi
