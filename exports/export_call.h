// Which export of which library posts where: all an export hands the
// boundary besides its form body and its reply rule.
#pragma once

#include "exports/endpoint_url.h"

namespace exports {

struct ExportCall {
  const char* library;  // "Kestrane" or "Falloway"
  const char* name;     // the export's own name
  const Service& service;
  const char* path;
};

}  // namespace exports
