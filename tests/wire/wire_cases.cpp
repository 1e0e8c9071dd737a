// The wire cases. Each row: a call, the server's answer, the outcome.
// Expected outcomes are the sound ones; a platform that legitimately
// differs carries a named deviation with its reason.
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>

#include "call_line.h"
#include "kestrane.h"
#include "wire_case.h"

namespace wire {
namespace {

using dllcaller::BufferArg;
using dllcaller::IntArg;
using dllcaller::Line;
using dllcaller::RealArg;
using dllcaller::TextArg;
using dllcaller::WritableArg;
using dllcaller::WrittenBuffer;
using testsupport::ChunkedBody;
using testsupport::HttpResponse;
using testsupport::Step;

constexpr unsigned char kFill = 0x5A;  // every caller buffer starts full of it
constexpr std::size_t kReplyBuffer = 65536;
constexpr std::size_t kWordBuffer = 10;
constexpr std::size_t kStampBuffer = 24;
constexpr std::size_t kSixteenMiB = 16u << 20;

const char kForm[] = "application/x-www-form-urlencoded";
const std::string kOdd = "a&b=c+d%20e f\x80\xe9\xff";  // sent byte for byte, never encoded
const std::string kSuccess("success\0", 8);
const std::string kFailed("failed\0", 7);
constexpr long long kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER: a number that cannot be sent
const char kNotFake[] = "framing, pieces and connections are the platform's: the fake hands over whole bodies";

std::string D(long long value) { return std::to_string(value); }

std::string F(double value) {  // the C library's "%lf": the reference rendering
  char text[400];
  std::snprintf(text, sizeof text, "%lf", value);
  return text;
}

std::string G(double value) {  // a literal that reads back as exactly `value`
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string EveryByte() {
  std::string bytes;
  for (int b = 1; b <= 255; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

std::string DotsToDashes(std::string text) {
  for (char& c : text)
    if (c == '.') c = '-';
  return text;
}

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// ---- calls -----------------------------------------------------------------

std::string FormLines(const std::string& body) {
  return "Content-Length: " + D(static_cast<long long>(body.size())) + "\r\nContent-Type: " + kForm + "\r\n";
}

Call Form(const std::string& line, Service service, const std::string& path, const std::string& body) {
  return {line, service, path, body, FormLines(body)};
}

Call SendSignal(const std::vector<std::string>& texts, int ticket, int origin, int cmd, int isLast) {
  // texts: source, symbol, price, lots, margin, stop_loss, take_profit, occured_at
  const std::string& s = texts[0];
  return Form(Line("SendSignal", {TextArg(s), IntArg(ticket), IntArg(origin), TextArg(texts[1]), TextArg(texts[2]),
                                  IntArg(cmd), TextArg(texts[3]), TextArg(texts[4]), TextArg(texts[5]),
                                  TextArg(texts[6]), TextArg(texts[7]), IntArg(isLast), "r"}),
              Service::Signal, "/admin/public/api/mt5/sendSignal",
              "source=" + s + "&ticket=" + D(ticket) + "&origin_ticket=" + D(origin) + "&symbol=" + texts[1] +
                  "&price=" + texts[2] + "&cmd=" + D(cmd) + "&lots=" + texts[3] + "&margin=" + texts[4] +
                  "&stop_loss=" + texts[5] + "&take_profit=" + texts[6] + "&occured_at=" + texts[7] +
                  "&is_last=" + D(isLast));
}

Call RecvSignal(const std::string& user, const std::string& source, int open, int close, const std::string& at) {
  return Form(Line("RecvSignal", {TextArg(user), TextArg(source), IntArg(open), IntArg(close), WritableArg(at),
                                  BufferArg(kReplyBuffer, kFill), "r"}),
              Service::Signal, "/admin/public/api/mt5/receiveSignal",
              "user=" + user + "&source=" + source + "&open_interval=" + D(open) + "&close_interval=" + D(close) +
                  "&interval=" + D(close) + "&requested_at=" + DotsToDashes(at));
}

Call CheckPosition(const std::string& source, int ticket, const std::string& symbol) {
  return Form(Line("CheckPosition", {TextArg(source), IntArg(ticket), TextArg(symbol), "r"}), Service::Signal,
              "/admin/public/api/mt5/getLastRecord", "source=" + source + "&ticket=" + D(ticket) + "&symbol=" + symbol);
}

Call UpdateTS(const std::string& source, int ticket, const std::string& sl, const std::string& tp) {
  return Form(Line("UpdateTS", {TextArg(source), IntArg(ticket), TextArg(sl), TextArg(tp), "r"}), Service::Signal,
              "/admin/public/api/updateTS", "source=" + source + "&ticket=" + D(ticket) + "&sl=" + sl + "&tp=" + tp);
}

Call CheckLimits(const std::string& source = "7", const std::string& limits = "max=1") {
  return Form(Line("CheckLimits", {TextArg(source), TextArg(limits), "r"}), Service::Signal,
              "/admin/public/api/checkLimits", "source=" + source + "&limits=" + limits);
}

// source_name null when `sourceName` is empty and type is not 0.
Call CheckAccount(const std::string& email, const std::string& password, const std::string& account,
                  const std::string& sourceName, int type) {
  const bool sendsSource = type == 0;
  return Form(Line("CheckAccount", {TextArg(email), TextArg(password), TextArg(account),
                                    sendsSource || !sourceName.empty() ? TextArg(sourceName) : "null", IntArg(type),
                                    BufferArg(kReplyBuffer, kFill)}),
              Service::Account, "/client/api_copytrade.php",
              "email=" + email + "&password=" + password + "&account=" + account +
                  (sendsSource ? "&source_name=" + sourceName : "") + "&type=" + (type != 0 ? "1" : "0"));
}

Call UpdateBalance(const std::string& account, double balance, const std::string& currency, int source) {
  return Form(Line("UpdateBalance", {TextArg(account), RealArg(G(balance)), TextArg(currency), IntArg(source),
                                     BufferArg(kWordBuffer, kFill)}),
              Service::Signal, "/admin/public/api/mt5/updateAccount",
              "account_number=" + account + "&account_balance=" + F(balance) + "&currency_type=" + currency +
                  "&inp_source=" + D(source));
}

Call GetLastUpdate(const std::string& account = "501") {
  return Form(Line("GetLastUpdate", {TextArg(account), BufferArg(kStampBuffer, kFill)}), Service::Signal,
              "/admin/public/api/mt5/getLastUpdatedDate", "account_number=" + account);
}

struct Deal {
  std::string account, time, symbol;
  int ticket, order, type, dir;
  double volume, price, profit, takeProfit, stopLoss;
};

Call UpdateHistory(const Deal& d) {
  return Form(Line("UpdateHistory", {TextArg(d.account), IntArg(d.ticket), TextArg(d.time), IntArg(d.order),
                                     TextArg(d.symbol), IntArg(d.type), IntArg(d.dir), RealArg(G(d.volume)),
                                     RealArg(G(d.price)), RealArg(G(d.profit)), RealArg(G(d.takeProfit)),
                                     RealArg(G(d.stopLoss)), BufferArg(kWordBuffer, kFill)}),
              Service::Signal, "/admin/public/api/mt5/updateAccount",
              "account_number=" + d.account + "&deal_ticket=" + D(d.ticket) + "&deal_time=" + d.time +
                  "&deal_order=" + D(d.order) + "&deal_symbol=" + d.symbol + "&deal_type=" + D(d.type) +
                  "&deal_dir=" + D(d.dir) + "&deal_volume=" + F(d.volume) + "&deal_price=" + F(d.price) +
                  "&deal_profit=" + F(d.profit) + "&stop_loss=" + F(d.stopLoss) + "&take_profit=" + F(d.takeProfit));
}

Deal TypicalDeal() { return {"501", "", "EURUSD", 101, 202, 0, 1, 0.1, 1.19512, 12.5, 1.2, 1.19}; }

// A call whose double cannot be rendered: nothing may be sent.
Call NotPosted(Call call) {
  call.path.clear();
  return call;
}

// ---- outcomes --------------------------------------------------------------

Outcome Int(int ret, int value) { return {ret, {value}, {}, {}}; }
Outcome Answered(int value) { return Int(1, value); }

// `outcome` with the last-error value and debug line of a call that got no
// reply: `code` after `attempts` attempts, in the public headers' words.
Outcome Unanswered(Outcome outcome, long long code, const std::string& detail) {
  outcome.lastError = code;
  outcome.lineWhat = "no reply from";
  outcome.lineDetail = detail;
  return outcome;
}
std::string After(int attempts, unsigned long code, const std::string& words) {
  return D(attempts) + (attempts == 1 ? " attempt" : " attempts") + ", last " + D(code) + " (" + words + ")";
}
Outcome NoReply(int attempts, unsigned long code, const std::string& words) {
  return Unanswered(Int(0, -1), code, After(attempts, code, words));
}
const Outcome kNoReply = Unanswered(Int(0, -1), kAnyFailure, "");

// A reply outside 2xx: still a reply, and one debug line.
Outcome WithStatus(Outcome outcome, int status) {
  outcome.lineWhat = "status " + D(status) + " from";
  outcome.lineDetail = "1 attempt, ";
  return outcome;
}

Outcome Recv(int ret, int status, const std::string& written, const std::string& at) {
  return {ret, {status}, {DotsToDashes(at) + '\0'}, {WrittenBuffer(written, kReplyBuffer, kFill)}};
}
Outcome Text(int ret, const std::string& written) {
  return {ret, {}, {}, {WrittenBuffer(written, kReplyBuffer, kFill)}};
}
Outcome Word(int ret, const std::string& word) { return {ret, {}, {}, {WrittenBuffer(word, kWordBuffer, kFill)}}; }
Outcome Stamp(int ret, const std::string& written) {
  return {ret, {}, {}, {WrittenBuffer(written, kStampBuffer, kFill)}};
}

// ---- answers ---------------------------------------------------------------

Script Answer(const std::string& bytes) {
  return [bytes] { return std::vector<Step>{Step::Respond(bytes)}; };
}
Script Plain(const std::string& body) { return Answer(HttpResponse(200, {}, body)); }
Script Utf8(const std::string& body) {
  return Answer(HttpResponse(200, {{"Content-Type", "text/plain; charset=utf-8"}}, body));
}
Script Steps(std::vector<Step> steps) {
  return [steps] { return steps; };
}

const std::string kOk = "HTTP/1.1 200 OK\r\n";
const std::string kChunked = kOk + "Transfer-Encoding: chunked\r\n\r\n";

// A response of 200 "42" whose head takes exactly `headBytes` bytes, made of
// header lines short enough for any parser's line buffer.
std::string HeadOfSize(std::size_t headBytes) {
  const std::string tail = "Content-Length: 2\r\n\r\n";
  std::string head = kOk;
  for (int n = 0; head.size() + 1000 + tail.size() < headBytes; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "X-Fill-%05d: ", n);
    head += name + std::string(1000 - std::strlen(name) - 2, 'f') + "\r\n";
  }
  const std::size_t left = headBytes - head.size() - tail.size();
  if (left >= 12) head += "X-Last: " + std::string(left - 10, 'l') + "\r\n";
  return head + tail + "42";
}

// `size` bytes that read as the integer 7.
std::string SevenPadded(std::size_t size) { return "7" + std::string(size - 1, ' '); }

std::string ChunkedOf(const std::string& body, std::size_t chunkBytes) {
  std::vector<std::string> pieces;
  for (std::size_t at = 0; at < body.size(); at += chunkBytes) pieces.push_back(body.substr(at, chunkBytes));
  return kChunked + ChunkedBody(pieces);
}

// ---- the table -------------------------------------------------------------

WireCase Row(std::string name, Call call, Script script, Outcome expected) {
  WireCase c;
  c.name = std::move(name);
  c.call = std::move(call);
  c.script = std::move(script);
  c.expected = std::move(expected);
  if (c.call.path.empty()) {  // the number that spoiled the body is the reason
    c.connections = 0;
    c.expected.lastError = kInvalidParameter;
    c.expected.lineWhat = "not sent to";
    c.expected.lineDetail = "error 87 (invalid parameter)";
  }
  return c;
}

WireCase OnWireOnly(WireCase c, std::size_t connections = 1) {
  c.notOnFake = kNotFake;
  c.connections = connections;
  return c;
}

WireCase Unreachable(std::string name, Call call, Outcome expected) {
  WireCase c = Row(std::move(name), std::move(call), nullptr,
                   Unanswered(std::move(expected), 12029, After(3, 12029, "cannot connect")));
  c.connections = 0;
  c.maxMs = 10000;  // three refused connections, no waiting
  return c;
}

void AddFormBodies(std::vector<WireCase>& t) {
  const std::string every = EveryByte();
  const std::string mib(1u << 20, 'm');
  const std::string at = "2021.04.30 12:00";
  t.push_back(Row("SendSignal_EmptyTexts", SendSignal({"7", "", "", "", "", "", "", ""}, 101, 100, 0, 1), Plain("42"),
                  Answered(42)));
  t.push_back(Row("SendSignal_ExtremesAndRawBytes",
                  SendSignal({kOdd, "EURUSD", "1.19512", "0.10", "12.5", "1.1", "1.3", at}, INT_MIN, INT_MAX, -1,
                             INT_MIN),
                  Plain("-1"), Answered(-1)));
  t.push_back(Row("SendSignal_MebibyteSymbol", SendSignal({"s", mib, "p", "l", "m", "a", "b", "c"}, 1, 2, 3, 1),
                  Plain("1"), Answered(1)));
  t.push_back(Row("RecvSignal_Typical", RecvSignal("u1", "s&2", 15, -60, at), Plain("abc"),
                  Recv(1, 1, std::string("abc\0\0\0\0\0", 8), at)));
  t.push_back(Row("RecvSignal_EveryByte", RecvSignal(every, every, INT_MIN, INT_MAX, every), Plain("00"),
                  Recv(1, 1, std::string("00\0\0\0\0\0\0", 8), every)));
  const std::string dots(1u << 20, '.');
  t.push_back(Row("RecvSignal_MebibyteOfDots", RecvSignal("", "", 0, -1, dots), Plain("0"), Recv(0, 84, "", dots)));
  t.push_back(Row("CheckPosition_Typical", CheckPosition("7", 1001, ""), Plain("  3 trades"), Answered(3)));
  t.push_back(Row("CheckPosition_EveryByte", CheckPosition(every, INT_MAX, every), Plain("-1"), Answered(-1)));
  t.push_back(Row("UpdateTS_EmptyLevels", UpdateTS("", INT_MIN, "", ""), Plain("not a number"), Answered(0)));
  t.push_back(Row("UpdateTS_EveryByte", UpdateTS("7", -1, every, every), Plain("1"), Answered(1)));
  t.push_back(Row("CheckLimits_Pairs", CheckLimits("src-1", "max=5&lot=0.1"), Plain("42"), Answered(42)));
  t.push_back(Row("CheckLimits_Mebibyte", CheckLimits(mib, mib), Plain("<html>busy</html>"), Answered(0)));
  t.push_back(Row("CheckAccount_TypeZeroSendsSourceName", CheckAccount("a@b.c", "p&w d", "501", kOdd, 0), Plain("OK"),
                  Text(1, "OK")));
  t.push_back(Row("CheckAccount_NonZeroTypeIsOneWithoutSourceName", CheckAccount("", "", "", "", -1), Plain(""),
                  Text(1, "")));
  t.push_back(Row("CheckAccount_SourceNameIgnoredUnlessTypeZero", CheckAccount("e", kOdd, "1", "ignored", 7),
                  Plain("0"), Text(1, "0")));
  t.push_back(Row("CheckAccount_EveryByte", CheckAccount(every, every, every, every, 0), Plain("x"), Text(1, "x")));
  t.push_back(Row("CheckAccount_MostNegativeType", CheckAccount("", mib, "", "", INT_MIN), Plain("y"), Text(1, "y")));
  t.push_back(Row("UpdateBalance_Typical", UpdateBalance("501", 100.5, "USD", 2), Plain(" +1 done"),
                  Word(1, kSuccess)));
  t.push_back(Row("UpdateBalance_TinyNegative", UpdateBalance("", -0.0000004, "", -3), Plain("1"), Word(1, kSuccess)));
  t.push_back(Row("UpdateBalance_RoundsHalfUp", UpdateBalance(kOdd, 0.0000005, "E&R", INT_MIN), Plain("1"),
                  Word(1, kSuccess)));
  t.push_back(Row("UpdateBalance_Huge", UpdateBalance("1", 1e300, "X", 0), Plain("1"), Word(1, kSuccess)));
  t.push_back(Row("UpdateBalance_LargestDouble", UpdateBalance("a", -DBL_MAX, "c", INT_MAX), Plain("1"),
                  Word(1, kSuccess)));
  t.push_back(Row("UpdateBalance_Subnormal", UpdateBalance("a", -5e-324, "c", 0), Plain("1"), Word(1, kSuccess)));
  t.push_back(Row("GetLastUpdate_Typical", GetLastUpdate("501"), Plain("2021-04-30 12:00:59"),
                  Stamp(1, "2021-04-30 12:00:59")));
  t.push_back(Row("GetLastUpdate_Mebibyte", GetLastUpdate(mib), Plain(""), Stamp(1, kFailed)));
  t.push_back(Row("UpdateHistory_Typical", UpdateHistory(TypicalDeal()), Plain("1"), Word(1, kSuccess)));
  t.push_back(Row("UpdateHistory_Extremes",
                  UpdateHistory({every, at, "", INT_MIN, INT_MAX, INT_MIN, -2, -0.0, DBL_MIN, -9.99e90, 123456.0000004,
                                 2.5e-7}),
                  Plain("0"), Word(1, kFailed)));
  Deal nanPrice = TypicalDeal();
  nanPrice.price = std::numeric_limits<double>::quiet_NaN();
  Deal infiniteStop = TypicalDeal();
  infiniteStop.stopLoss = std::numeric_limits<double>::infinity();
  t.push_back(Row("UpdateBalance_NaNIsNotPosted", NotPosted(UpdateBalance("1", std::nan(""), "USD", 1)), Plain("1"),
                  Word(0, kFailed)));
  t.push_back(Row("UpdateBalance_InfinityIsNotPosted", NotPosted(UpdateBalance("1", -HUGE_VAL, "USD", 1)),
                  Plain("1"), Word(0, kFailed)));
  t.push_back(Row("UpdateHistory_NaNPriceIsNotPosted", NotPosted(UpdateHistory(nanPrice)), Plain("1"),
                  Word(0, kFailed)));
  t.push_back(Row("UpdateHistory_InfiniteStopLossIsNotPosted", NotPosted(UpdateHistory(infiniteStop)), Plain("1"),
                  Word(0, kFailed)));
}

void AddReplyRules(std::vector<WireCase>& t) {
  const std::string at = "2021.04.30";
  const Call checkLimits = CheckLimits();
  const Call sendSignal = SendSignal({"7", "", "", "", "", "", "", ""}, 1, 1, 0, 0);
  const Call checkPosition = CheckPosition("7", 1, "");
  const Call updateTS = UpdateTS("7", 1, "", "");
  struct IntRule {
    const char* exportName;
    const Call& call;
    const char* name;
    std::string reply;
    int value;
  };
  const IntRule intRules[] = {
      {"CheckLimits", checkLimits, "Number", "42", 42},
      {"SendSignal", sendSignal, "LeadingSpaceAndTrailingText", "  \r\n42 and more", 42},
      {"CheckPosition", checkPosition, "Negative", "-1", -1},
      {"UpdateTS", updateTS, "PlusSign", "+7", 7},
      {"CheckLimits", checkLimits, "Empty", "", 0},
      {"SendSignal", sendSignal, "Word", "ok", 0},
      {"CheckPosition", checkPosition, "HtmlPage", "<html><body>502 Bad Gateway</body></html>", 0},
      {"UpdateTS", updateTS, "Overflow", "99999999999", INT_MAX},
      {"CheckLimits", checkLimits, "Underflow", "-99999999999", INT_MIN},
  };
  for (const IntRule& rule : intRules) {
    t.push_back(Row(std::string(rule.exportName) + "_Reply" + rule.name, rule.call, Plain(rule.reply),
                    Answered(rule.value)));
  }

  const std::string euro = "\xe2\x82\xac";
  const std::string euros = Repeat(euro, 21845);  // 65535 bytes
  const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
  const std::string eAcutes = Repeat("\xc3\xa9", 32767);  // 65534 bytes
  const std::string smile = "\xf0\x9f\x98\x80";
  const std::string smiles = Repeat(smile, 16383);  // 65532 bytes
  const Call recv = RecvSignal("u", "s", 1, 2, at);
  struct RecvRule {
    const char* name;
    std::string reply;
    Outcome outcome;
  };
  const RecvRule recvs[] = {
      {"ShortAsciiZeroesEightBytes", "abc", Recv(1, 1, std::string("abc\0\0\0\0\0", 8), at)},
      {"TwoZerosAreAReply", "00", Recv(1, 1, std::string("00\0\0\0\0\0\0", 8), at)},
      {"ZeroWithSpaceIsAReply", " 0", Recv(1, 1, std::string(" 0\0\0\0\0\0\0", 8), at)},
      {"TwentyCharactersWithoutZero", twenty, Recv(1, 1, twenty, at)},
      {"SingleZeroIsNoSignal", "0", Recv(0, 84, "", at)},
      {"EmptyIsNoSignal", "", Recv(0, 84, "", at)},
      {"NonAsciiWrittenWhole", "\xc3\xa9t\xc3\xa9 " + euro, Recv(1, 1, "\xc3\xa9t\xc3\xa9 " + euro, at)},
      {"SupplementaryCharacter", "x\xf0\x9f\x98\x80yz", Recv(1, 1, std::string("x\xf0\x9f\x98\x80yz\0", 8), at)},
      {"Utf8Of65535BytesDelivered", euros, Recv(1, 1, euros, at)},
      {"Utf8Of65536BytesRefused", euros + "b", Recv(0, -1, "", at)},
      {"AsciiOf65535BytesDelivered", std::string(65535, 'a'), Recv(1, 1, std::string(65535, 'a'), at)},
      {"TwoByteCharactersOf65535BytesDelivered", eAcutes + "r", Recv(1, 1, eAcutes + "r", at)},
      {"TwoByteCharactersOf65536BytesRefused", eAcutes + "\xc3\xa9", Recv(0, -1, "", at)},
      {"FourByteCharactersOf65535BytesDelivered", smiles + "rrr", Recv(1, 1, smiles + "rrr", at)},
      {"FourByteCharactersOf65536BytesRefused", smiles + smile, Recv(0, -1, "", at)},
  };
  for (const RecvRule& rule : recvs) {
    t.push_back(Row(std::string("RecvSignal_") + rule.name, recv, Utf8(rule.reply), rule.outcome));
  }

  const Call account = CheckAccount("e", "p", "1", "", 1);
  const std::string eAcute = Repeat("\xc3\xa9", 32768);  // 65536 bytes
  const std::pair<const char*, std::string> texts[] = {
      {"ThreeAscii", "abc"}, {"NonAscii", "Gr\xc3\xbc\xc3\x9f" "e " + euro}, {"Zero", "0"},
      {"Utf8Of65534BytesWritten", eAcute.substr(2)}, {"AsciiOf65535BytesWritten", std::string(65535, 'q')},
  };
  for (const auto& [name, reply] : texts) {
    t.push_back(Row(std::string("CheckAccount_") + name, account, Utf8(reply), Text(1, reply)));
  }
  t.push_back(Row("CheckAccount_Utf8Of65536BytesRefused", account, Utf8(eAcute), Text(0, "")));
  t.push_back(Row("CheckAccount_AsciiOf65536BytesRefused", account, Utf8(std::string(65536, 'q')), Text(0, "")));
  t.push_back(Row("CheckAccount_FourByteCharactersOf65535BytesWritten", account, Utf8(smiles + "rrr"),
                  Text(1, smiles + "rrr")));
  t.push_back(Row("CheckAccount_FourByteCharactersOf65536BytesRefused", account, Utf8(smiles + smile), Text(0, "")));

  // Only a reply of exactly 19 characters, 19 bytes in UTF-8, is a stamp.
  struct StampRule {
    const char* name;
    std::string reply;
    std::string written;
  };
  const StampRule stamps[] = {
      {"Stamp", "2021-04-30 12:00:59", "2021-04-30 12:00:59"},
      {"AnyNineteenAscii", "abc DEF ghi JKL mno", "abc DEF ghi JKL mno"},
      {"Eighteen", "2021-04-30 12:00:5", kFailed},
      {"Twenty", "2021-04-30 12:00:59Z", kFailed},
      {"StampWithLineBreak", "2021-04-30 12:00:59\n", kFailed},
      {"Empty", "", kFailed},
      {"NineteenUnitsNotNineteenBytes", "2021-04-30 12:00:5\xc3\xa9", kFailed},
      {"EighteenUnitsInNineteenBytes", "2021-04-30 12:00:\xc3\xa9", kFailed},
  };
  for (const StampRule& rule : stamps) {
    t.push_back(Row(std::string("GetLastUpdate_") + rule.name, GetLastUpdate(), Utf8(rule.reply),
                    Stamp(1, rule.written)));
  }

  const Call balance = UpdateBalance("501", 1.0, "USD", 1);
  const Call history = UpdateHistory(TypicalDeal());
  struct WordRule {
    const char* exportName;
    const Call& call;
    const char* name;
    const char* reply;
    const std::string& word;
  };
  const WordRule wordRules[] = {
      {"UpdateBalance", balance, "One", "1", kSuccess},
      {"UpdateHistory", history, "SpacesThenOne", "  1", kSuccess},
      {"UpdateBalance", balance, "PlusOne", "+1", kSuccess},
      {"UpdateHistory", history, "ZeroOne", "01", kSuccess},
      {"UpdateBalance", balance, "OneAndText", "1 done", kSuccess},
      {"UpdateHistory", history, "Zero", "0", kFailed},
      {"UpdateBalance", balance, "Two", "2", kFailed},
      {"UpdateHistory", history, "MinusOne", "-1", kFailed},
      {"UpdateBalance", balance, "Eleven", "11", kFailed},
      {"UpdateHistory", history, "Empty", "", kFailed},
      {"UpdateBalance", balance, "Word", "ok", kFailed},
      {"UpdateHistory", history, "HtmlAroundOne", "<html>1</html>", kFailed},
  };
  for (const WordRule& rule : wordRules) {
    t.push_back(Row(std::string(rule.exportName) + "_Reply" + rule.name, rule.call, Plain(rule.reply),
                    Word(1, rule.word)));
  }
}

void AddUnreachable(std::vector<WireCase>& t) {
  const std::string at = "2021.04.30 12.00";
  t.push_back(Unreachable("SendSignal_Unreachable", SendSignal({"7", "", "", "", "", "", "", ""}, 1, 1, 0, 0),
                          kNoReply));
  t.push_back(Unreachable("RecvSignal_UnreachableStillRewritesRequestedAt", RecvSignal("u", "s", 1, 1, at),
                          Recv(0, -1, "", at)));
  t.push_back(Unreachable("CheckPosition_Unreachable", CheckPosition("7", 1, ""), kNoReply));
  t.push_back(Unreachable("UpdateTS_Unreachable", UpdateTS("7", 1, "", ""), kNoReply));
  t.push_back(Unreachable("CheckLimits_Unreachable", CheckLimits(), kNoReply));
  t.push_back(Unreachable("CheckAccount_UnreachableLeavesBuffer", CheckAccount("e", "p", "1", "s", 0), Text(0, "")));
  t.push_back(Unreachable("UpdateBalance_Unreachable", UpdateBalance("501", 1, "USD", 1), Word(0, kFailed)));
  t.push_back(Unreachable("GetLastUpdate_Unreachable", GetLastUpdate(), Stamp(0, kFailed)));
  t.push_back(Unreachable("UpdateHistory_Unreachable", UpdateHistory(TypicalDeal()), Word(0, kFailed)));
}

// Over https every certificate that fails a check ends the call like an
// unreachable server: nothing of the form reaches the server behind.
void AddRefusedCertificates(std::vector<WireCase>& t) {
  using testsupport::TestCertificate;
  const std::pair<const char*, TestCertificate> refused[] = {
      {"WrongName", TestCertificate::WrongName},
      {"Expired", TestCertificate::Expired},
      {"SelfSigned", TestCertificate::SelfSigned},
      {"IssuedForTheAddressNotTheName", TestCertificate::LoopbackIp},
  };
  for (const auto& [name, certificate] : refused) {
    const auto refusedAs = [](Outcome outcome, unsigned long code, const char* words) {
      return Unanswered(std::move(outcome), code, After(3, code, words));
    };
    for (WireCase c :
         {Row(std::string("Certificate_") + name + "_CheckLimits", CheckLimits(), Plain("42"),
              refusedAs(Int(0, -1), 12175, "certificate refused")),
          Row(std::string("Certificate_") + name + "_CheckAccount", CheckAccount("e", "pw", "1", "", 1), Utf8("OK"),
              refusedAs(Text(0, ""), 12175, "certificate refused"))}) {
      Outcome underWine = refusedAs(c.expected, 12157, "secure channel failed");
      c.deviations.push_back(
          {Platform::Wine, underWine, 0, "Wine's WinHTTP reports a refused certificate as a failed handshake"});
      c.certificate = certificate;
      c.connections = 0;
      c.maxMs = 10000;
      c.notOnFake = "certificates are checked by the platform";
      t.push_back(std::move(c));
    }
  }
}

void AddFraming(std::vector<WireCase>& t) {
  const std::string fine = HttpResponse(200, {}, "42");
  auto wire = [&t](std::string name, Script script, Outcome expected, std::size_t connections = 1) {
    t.push_back(OnWireOnly(Row(std::move(name), CheckLimits(), std::move(script), std::move(expected)), connections));
    return &t.back();
  };
  wire("Body_ContentLength", Answer(fine), Answered(42));
  wire("Body_Chunked", Answer(kChunked + ChunkedBody({"4", "2"})), Answered(42));
  wire("Body_CloseDelimited", Answer(kOk + "\r\n42"), Answered(42));
  wire("Body_TrickledInThrees", Steps({Step::Trickle(fine, 3, 20)}), Answered(42));
  wire("Body_HeadThenBodyLater", Steps({Step::Trickle(fine, fine.size() - 2, 200)}), Answered(42));
  // A transfer coding frames the body; the Content-Length beside it is not consulted.
  wire("Body_ChunkedWinsOverContentLength", Answer(kOk + "Content-Length: 9\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                                   ChunkedBody({"42"})), Answered(42));
  // A body the connection's end cuts short is the platform's failure to report.
  const Outcome kBrokenOff = NoReply(1, 12030, "connection broken");
  const Deviation kEndSeenShort{Platform::Wine, NoReply(1, KT_ERROR_REPLY_CUT_SHORT, "reply cut short"), 1,
                                "Wine's WinHTTP ends the body at the close without error: the length check finds it"};
  wire("Body_LongerThanItsContentLength", Answer(kOk + "Content-Length: 2\r\n\r\n4299"), Answered(42));
  wire("Body_ShortOfItsContentLength", Answer(kOk + "Content-Length: 10\r\n\r\n42"), kBrokenOff)
      ->deviations.push_back(kEndSeenShort);
  wire("Body_ChunkedWithoutLastChunk", Answer(kChunked + "1\r\n4\r\n1\r\n2\r\n"), kBrokenOff)
      ->deviations.push_back({Platform::Wine, Answered(42), 1,
                              "Wine's WinHTTP ends a chunked body at the close without error: the cut cannot be seen"});
  wire("Body_ResetMidBody", Steps({Step::SendThenReset(kOk + "Content-Length: 100\r\n\r\n0123456789")}), kBrokenOff)
      ->deviations.push_back({Platform::Wine, NoReply(1, 10054, "connection reset"), 1,
                              "Wine's WinHTTP hands on Winsock's code for the reset"});
  t.push_back(Row("Body_ZeroByteEndsTheText", CheckLimits(), Plain(std::string("4\0" "2", 3)), Answered(4)));
  wire("Head_JustUnder64KiB", Answer(HeadOfSize(65535)), Answered(42));
  // Windows' WinHTTP refuses a head over 64 KiB, Wine's does not: our own check makes them one.
  const Outcome kInvalidResponse = NoReply(3, 12152, "invalid response");
  wire("Head_JustOver64KiB", Answer(HeadOfSize(65537)), kInvalidResponse, 3)
      ->deviations.push_back({Platform::Wine, NoReply(3, KT_ERROR_HEAD_TOO_LARGE, "head over 64 KiB"), 3,
                              "Wine's WinHTTP takes a head over 64 KiB: our own check refuses it"});
  // Wine's WinHTTP hands such heads back as whole; only a head that ended in its blank line is taken.
  const Deviation cutHead{Platform::Wine, NoReply(3, KT_ERROR_INCOMPLETE_HEAD, "incomplete head"), 3,
                          "Wine's WinHTTP hands back the head read so far as whole: our own check refuses it"};
  wire("Head_CutBeforeItsBlankLine", Answer(kOk + "Content-Length: 2\r\n"), kInvalidResponse, 3)
      ->deviations.push_back(cutHead);
  wire("Head_LineWithoutColon", Answer(kOk + "NoColonHere\r\nContent-Length: 2\r\n\r\n42"), kInvalidResponse, 3)
      ->deviations.push_back(cutHead);
  // Bodies at the cap: read whole; one byte more is never a reply, whatever the framing.
  const Outcome kTooLarge = NoReply(1, KT_ERROR_REPLY_TOO_LARGE, "reply over 16 MiB");
  wire("Cap_ContentLengthOf16MiBReadWhole", [] { return std::vector<Step>{
           Step::Respond(HttpResponse(200, {}, std::string(kSixteenMiB, '7')))}; }, Answered(INT_MAX));
  wire("Cap_ContentLengthOf16MiBPlus1Refused", [] { return std::vector<Step>{
           Step::Respond(HttpResponse(200, {}, SevenPadded(kSixteenMiB + 1)))}; }, kTooLarge);
  wire("Cap_ChunkedOf16MiBReadWhole", [] { return std::vector<Step>{
           Step::Respond(ChunkedOf(SevenPadded(kSixteenMiB), 1u << 20))}; }, Answered(7));
  wire("Cap_ChunkedOf16MiBPlus1InOneChunkRefused", [] { return std::vector<Step>{
           Step::Respond(ChunkedOf(SevenPadded(kSixteenMiB + 1), kSixteenMiB + 1))}; }, kTooLarge);
  wire("Cap_CloseDelimited16MiBPlus1Refused", [] { return std::vector<Step>{
           Step::Respond(kOk + "\r\n" + SevenPadded(kSixteenMiB + 1))}; }, kTooLarge);
  wire("Retry_DroppedFirstConnectionThenAnswer", Steps({Step::CloseAtOnce(), Step::Respond(fine)}), Answered(42), 2);
  // Windows' WinHTTP skips interim answers; Wine's does not.
  wire("Status_ContinueFirst", Answer("HTTP/1.1 100 Continue\r\n\r\n" + fine), Answered(42))
      ->deviations.push_back({Platform::Wine, kNoReply, 3, "Wine's WinHTTP fails an answer that starts with 100"});
  wire("Status_ProcessingFirst", Answer("HTTP/1.1 102 Processing\r\n\r\n" + fine), Answered(42))
      ->deviations.push_back({Platform::Wine, NoReply(3, KT_ERROR_INTERIM_RESPONSE, "interim response"), 3,
                              "Wine's WinHTTP takes a 102 for the final answer, which is no reply"});
  wire("Status_NoContentWithContentLength", Answer("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n"),
       Answered(0));
  wire("Status_NotModifiedWithContentLength", Answer("HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\n"),
       WithStatus(Answered(0), 304));
  for (int status : {404, 500, 999}) {
    t.push_back(Row("Status_" + D(status) + "IsTheReply", CheckLimits(), Answer(HttpResponse(status, {}, "13")),
                    WithStatus(Answered(13), status)));
  }
  const std::string live = "http://" KT_TEST_SIGNAL_SERVER_HOST "/next";
  const std::string dead = "http://127.0.0.1:" + D(PortOf(Service::Signal) + 98) + "/next";
  for (int status : {301, 302, 303, 307, 308}) {
    wire("Redirect_" + D(status) + "ToLivePathIsTheReply", Answer(HttpResponse(status, {{"Location", live}}, "3")),
         WithStatus(Answered(3), status));
    wire("Redirect_" + D(status) + "ToDeadPortIsTheReply", Answer(HttpResponse(status, {{"Location", dead}}, "3")),
         WithStatus(Answered(3), status));
  }
  const Call account = CheckAccount("e", "p", "1", "", 1);
  const std::string fffd = "\xef\xbf\xbd";
  t.push_back(Row("Text_InvalidUtf8BecomesReplacementCharacters", account, Utf8("4\xff\xfe" "2"),
                  Text(1, "4" + fffd + fffd + "2")));
  t.push_back(Row("Text_ZeroByteEndsTheText", account, Utf8(std::string("ab\0cd", 5)), Text(1, "ab")));
}

// The digits after "source=" in a raw request: each call of a sequence
// posts its own, and the server answers with them, so that a reply can
// only be the answer to the request it came with.
std::string SourceOf(const std::string& request) {
  const std::size_t at = request.find("source=");
  if (at == std::string::npos) return "?";
  const std::size_t from = at + 7;
  return request.substr(from, request.find_first_not_of("0123456789", from) - from);
}

using Answering = std::function<std::string(const std::string& source)>;

// Every connection answered with its request's own number, as `answer` frames it.
Script Numbered(Answering answer, std::string stray = "", int strayDelayMs = 0) {
  return [answer, stray, strayDelayMs] {
    return std::vector<Step>{Step::RespondTo(
        [answer](const std::string& request) { return answer(SourceOf(request)); }, stray, strayDelayMs)};
  };
}

WireCase Sequence(std::string name, Script script, std::size_t connections,
                  std::vector<std::pair<Call, Outcome>> calls) {
  WireCase c = OnWireOnly(Row(std::move(name), calls[0].first, std::move(script), calls[0].second), connections);
  c.notOnFake = "a server whose state runs across calls is the wire's";
  for (std::size_t k = 1; k < calls.size(); ++k) c.later.push_back({calls[k].first, calls[k].second});
  return c;
}

// Several calls in one process against one server: every reply must be the
// answer to that call's own request, whatever the server leaves behind.
void AddSequences(std::vector<WireCase>& t) {
  const std::string stray = HttpResponse(200, {}, "99");
  const Answering plain = [](const std::string& source) { return HttpResponse(200, {}, source); };
  t.push_back(Sequence("Sequence_StrayResponseAfterEachAnswer", Numbered(plain, stray, 100), 3,
                       {{CheckLimits("11"), Answered(11)},
                        {CheckPosition("12", 1, ""), Answered(12)},
                        {UpdateTS("13", 1, "", ""), Answered(13)}}));
  t.push_back(Sequence("Sequence_BodyLongerThanItsContentLength",
                       Numbered([stray](const std::string& source) {
                         return kOk + "Content-Length: " + D(static_cast<long long>(source.size())) + "\r\n\r\n" +
                                source + stray;
                       }),
                       2, {{CheckLimits("21"), Answered(21)}, {CheckPosition("22", 1, ""), Answered(22)}}));
  WireCase interim = Sequence(
      "Sequence_InterimBeforeEachAnswer",
      Numbered([plain](const std::string& source) { return "HTTP/1.1 102 Processing\r\n\r\n" + plain(source); }), 2,
      {{CheckLimits("31"), Answered(31)}, {CheckLimits("32"), Answered(32)}});
  const Outcome refusedInterim = NoReply(3, KT_ERROR_INTERIM_RESPONSE, "interim response");
  interim.deviations.push_back({Platform::Wine, refusedInterim, 6,
                                "Wine's WinHTTP takes each 102 for the final answer, which is no reply",
                                {refusedInterim}});
  t.push_back(interim);
  // The first answer's chunked body is cut by the close, every later one whole.
  WireCase cut = Sequence("Sequence_CutChunkedBodyThenAPlainCall", [plain] {
    return std::vector<Step>{
        Step::RespondTo([](const std::string& request) {
          const std::string source = SourceOf(request);
          return kChunked + D(static_cast<long long>(source.size())) + "\r\n" + source + "\r\n";
        }),
        Step::RespondTo([plain](const std::string& request) { return plain(SourceOf(request)); })};
  }, 2, {{CheckLimits("41"), NoReply(1, 12030, "connection broken")}, {CheckLimits("42"), Answered(42)}});
  cut.deviations.push_back({Platform::Wine, Answered(41), 2,
                            "Wine's WinHTTP ends a chunked body at the close without error: the cut cannot be seen; "
                            "the next call gets its own answer",
                            {Answered(42)}});
  t.push_back(cut);
}

std::vector<WireCase> Build() {
  std::vector<WireCase> table;
  AddFormBodies(table);
  AddReplyRules(table);
  AddUnreachable(table);
  AddRefusedCertificates(table);
  AddFraming(table);
  AddSequences(table);
  return table;
}

}  // namespace

const char* PlatformName(Platform platform) {
  switch (platform) {
    case Platform::Linux: return "Linux";
    case Platform::Wine: return "Wine";
    case Platform::Fake: return "Fake";
  }
  return "?";
}

const Outcome& WireCase::LaterExpectedOn(Platform platform, std::size_t index) const {
  for (const Deviation& deviation : deviations) {
    if (deviation.platform == platform && !deviation.laterOutcomes.empty()) return deviation.laterOutcomes.at(index);
  }
  return later.at(index).expected;
}

const Outcome& WireCase::ExpectedOn(Platform platform) const {
  for (const Deviation& deviation : deviations) {
    if (deviation.platform == platform) return deviation.outcome;
  }
  return expected;
}

std::size_t WireCase::ConnectionsOn(Platform platform) const {
  if (!script) return 0;
  for (const Deviation& deviation : deviations) {
    if (deviation.platform == platform) return deviation.connections;
  }
  return connections;
}

void PrintTo(const WireCase& c, std::ostream* out) {
  *out << c.name;
  for (const Deviation& deviation : c.deviations) {
    *out << " (" << PlatformName(deviation.platform) << ": " << deviation.reason << ")";
  }
}

const std::vector<WireCase>& Cases() {
  static const std::vector<WireCase> table = Build();
  return table;
}

std::uint16_t PortOf(Service service) {
  const std::string host = service == Service::Signal ? KT_TEST_SIGNAL_SERVER_HOST : KT_TEST_ACCOUNT_SERVICE_HOST;
  return static_cast<std::uint16_t>(std::stoi(host.substr(host.rfind(':') + 1)));
}

std::string ExpectedHead(Platform platform, const Call& call, bool overTls) {
  const bool toSignal = call.service == Service::Signal;
  const std::string host = overTls    ? "localhost:" + D(PortOf(toSignal ? Service::Signal : Service::Account))
                           : toSignal ? KT_TEST_SIGNAL_SERVER_HOST
                                      : KT_TEST_ACCOUNT_SERVICE_HOST;
  const std::string requestLine = "POST " + call.path + " HTTP/1.1\r\n";
  switch (platform) {
    case Platform::Linux:  // our stand-in: host and agent first, one exchange per connection
      return requestLine + "Host: " + host + "\r\nUser-Agent: WinHttpClient\r\n" + call.clientHeaders +
             "Connection: close\r\n\r\n";
    case Platform::Wine:  // Wine's WinHTTP: the caller's lines first, then agent and host; keep-alive off
      return requestLine + call.clientHeaders + "User-Agent: WinHttpClient\r\nHost: " + host + "\r\n\r\n";
    case Platform::Fake:  // the fake journals only what the client hands to the platform
      return requestLine + "Host: " + host + "\r\n" + call.clientHeaders + "\r\n";
  }
  return "";
}

}  // namespace wire
