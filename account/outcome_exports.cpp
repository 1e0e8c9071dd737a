// The Falloway exports that answer with the outcome word.
#include "exports/post_and_convert.h"
#include "exports/services.h"
#include "falloway.h"

namespace {

constexpr const char* kUpdateAccountPath = "/admin/public/api/mt5/updateAccount";

}  // namespace

extern "C" {

int32_t UpdateBalance(const char* account_number, double account_balance, const char* currency_type,
                      int32_t inp_source, char* outcome) {
  exports::FormBody body;
  body.Text("account_number=", account_number)
      .Decimal("&account_balance=", account_balance)
      .Text("&currency_type=", currency_type)
      .Int("&inp_source=", inp_source);
  exports::IntoOutcomeWord rule(outcome);
  return exports::PostAndConvert({exports::kFalloway, "UpdateBalance", exports::kSignalServer,
                                  kUpdateAccountPath},
                                 body, rule);
}

// take_profit is passed before stop_loss but closes the body: servers rely
// on that order.
int32_t UpdateHistory(const char* account_number, int32_t deal_ticket, const char* deal_time, int32_t deal_order,
                      const char* deal_symbol, int32_t deal_type, int32_t deal_dir, double deal_volume,
                      double deal_price, double deal_profit, double take_profit, double stop_loss, char* outcome) {
  exports::FormBody body;
  body.Text("account_number=", account_number)
      .Int("&deal_ticket=", deal_ticket)
      .Text("&deal_time=", deal_time)
      .Int("&deal_order=", deal_order)
      .Text("&deal_symbol=", deal_symbol)
      .Int("&deal_type=", deal_type)
      .Int("&deal_dir=", deal_dir)
      .Decimal("&deal_volume=", deal_volume)
      .Decimal("&deal_price=", deal_price)
      .Decimal("&deal_profit=", deal_profit)
      .Decimal("&stop_loss=", stop_loss)
      .Decimal("&take_profit=", take_profit);
  exports::IntoOutcomeWord rule(outcome);
  return exports::PostAndConvert({exports::kFalloway, "UpdateHistory", exports::kSignalServer,
                                  kUpdateAccountPath},
                                 body, rule);
}

}  // extern "C"
