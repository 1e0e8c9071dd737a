// The Kestrane exports whose reply is one integer.
#include "exports/post_and_convert.h"
#include "exports/services.h"
#include "kestrane.h"

extern "C" {

int32_t SendSignal(const char* source, int32_t ticket, int32_t origin_ticket, const char* symbol, const char* price,
                   int32_t cmd, const char* lots, const char* margin, const char* stop_loss, const char* take_profit,
                   const char* occured_at, int32_t is_last, int32_t* result) {
  exports::FormBody body;
  body.Text("source=", source)
      .Int("&ticket=", ticket)
      .Int("&origin_ticket=", origin_ticket)
      .Text("&symbol=", symbol)
      .Text("&price=", price)
      .Int("&cmd=", cmd)
      .Text("&lots=", lots)
      .Text("&margin=", margin)
      .Text("&stop_loss=", stop_loss)
      .Text("&take_profit=", take_profit)
      .Text("&occured_at=", occured_at)
      .Int("&is_last=", is_last);
  exports::IntoResult rule(result);
  return exports::PostAndConvert({exports::kKestrane, "SendSignal", exports::kSignalServer,
                                  "/admin/public/api/mt5/sendSignal"},
                                 body, rule);
}

int32_t CheckPosition(const char* source, int32_t ticket, const char* symbol, int32_t* result) {
  exports::FormBody body;
  body.Text("source=", source).Int("&ticket=", ticket).Text("&symbol=", symbol);
  exports::IntoResult rule(result);
  return exports::PostAndConvert({exports::kKestrane, "CheckPosition", exports::kSignalServer,
                                  "/admin/public/api/mt5/getLastRecord"},
                                 body, rule);
}

int32_t UpdateTS(const char* source, int32_t ticket, const char* sl, const char* tp, int32_t* result) {
  exports::FormBody body;
  body.Text("source=", source).Int("&ticket=", ticket).Text("&sl=", sl).Text("&tp=", tp);
  exports::IntoResult rule(result);
  return exports::PostAndConvert({exports::kKestrane, "UpdateTS", exports::kSignalServer,
                                  "/admin/public/api/updateTS"},
                                 body, rule);
}

int32_t CheckLimits(const char* source, const char* limits, int32_t* result) {
  exports::FormBody body;
  body.Text("source=", source).Text("&limits=", limits);
  exports::IntoResult rule(result);
  return exports::PostAndConvert({exports::kKestrane, "CheckLimits", exports::kSignalServer,
                                  "/admin/public/api/checkLimits"},
                                 body, rule);
}

}  // extern "C"
