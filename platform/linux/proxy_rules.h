// Proxy lists, bypass lists and the environment variables they come from.
#pragma once

#include <string>
#include <string_view>

namespace winhttp_linux {

// The proxy for http from a list such as "host:port", "http://host:port/",
// "a:1;b:2" or "http=a:1;https=b:2" (the http entry, else the first one
// without a scheme). Port 80 when none is given. False when there is none.
bool ParseProxyServer(std::string_view list, std::string& host, unsigned short& port);

// True when `host` matches an entry of `bypass` (separated by ';', ' ' or
// ','): "<local>" matches names without a dot, "*" matches any run of
// characters, ".suffix" matches names that end with it; letter case ignored.
bool IsBypassed(const std::string& host, std::string_view bypass);

// "host:port" out of an http_proxy value ("http://user@host:port/" or
// "host:port"); empty when it names nothing.
std::string ProxyFromEnvironmentValue(std::string_view value);

// A no_proxy value as a ';'-separated bypass list.
std::string BypassFromEnvironmentValue(std::string_view value);

}  // namespace winhttp_linux
