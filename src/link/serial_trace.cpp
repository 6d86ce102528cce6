#include "link/serial_trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/local_time.h"
#include "base/unicode_paths.h"

namespace pw {

namespace {

constexpr std::string_view kSentMark = "PC>";
constexpr std::string_view kReceivedMark = "<PG";
constexpr std::string_view kNoteMark = "-- ";
constexpr std::string_view kContinuedMark = "   ";
constexpr std::string_view kLegend =
    "Times are milliseconds from the start. PC> marks bytes the computer sent, <PG bytes the\n"
    "pager sent, -- what happened on the port; a row without a mark goes on with the frame\n"
    "above it.\n";

std::string Stamp(std::uint64_t ms) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%10llu  ", static_cast<unsigned long long>(ms));
  return buf;
}

} // namespace

std::string TraceFileName(std::time_t when) {
  return "trace-" + LocalTimeText(when, "%Y%m%d-%H%M%S") + ".txt";
}

SerialTrace::SerialTrace(std::filesystem::path path, Clock& clock)
    : path_(std::move(path)), clock_(clock), start_(clock.Ticks()) {}

SerialTrace::~SerialTrace() { Flush(); }

void SerialTrace::Sent(std::uint8_t b) { Add(Direction::Sent, b); }
void SerialTrace::Received(std::uint8_t b) { Add(Direction::Received, b); }

void SerialTrace::Add(Direction direction, std::uint8_t b) {
  const std::uint64_t now = clock_.Ticks();
  if (direction != direction_ || (!frame_.empty() && now - frame_.back().at > kTraceFramePauseMs))
    Flush();
  direction_ = direction;
  frame_.push_back({b, now});
}

void SerialTrace::Note(std::string_view event) {
  Flush();
  Write(Stamp(clock_.Ticks() - start_) + std::string(kNoteMark) + " " + std::string(event) + "\n");
}

void SerialTrace::Flush() {
  if (frame_.empty()) return;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t row = 0; row < frame_.size(); row += kTraceBytesPerRow) {
    const std::size_t end = std::min(frame_.size(), row + kTraceBytesPerRow);
    std::string hex, chars;
    for (std::size_t i = row; i < end; ++i) {
      const std::uint8_t v = frame_[i].value;
      hex += kHex[v >> 4];
      hex += kHex[v & 0x0F];
      hex += ' ';
      chars += (v >= 0x20 && v < 0x7F) ? static_cast<char>(v) : '.';
    }
    hex.resize(kTraceBytesPerRow * 3, ' ');
    const std::string_view mark =
        row > 0 ? kContinuedMark : (direction_ == Direction::Sent ? kSentMark : kReceivedMark);
    text += Stamp(frame_[row].at - start_) + std::string(mark) + " " + hex + " " + chars + "\n";
  }
  frame_.clear();
  direction_ = Direction::None;
  Write(text);
}

bool SerialTrace::Begin() {
  Write({});
  return Ok();
}

void SerialTrace::OpenFile() {
  opened_ = true;
  out_.open(SystemPath(path_), std::ios::out | std::ios::app | std::ios::binary);
  if (!out_) return;
  // Each session of the trace starts with its own heading, also in a file it shares.
  if (out_.tellp() > 0) out_ << "\n";
  out_ << "Pagewright serial trace, started "
       << LocalTimeText(std::time(nullptr), "%Y-%m-%d %H:%M:%S") << "\n"
       << kLegend;
}

void SerialTrace::Write(const std::string& text) {
  if (!error_.empty()) return;
  if (!opened_) OpenFile();
  out_ << text;
  out_.flush();
  if (!out_)
    error_ = "Cannot write the serial trace \"" + path_.string() + "\": " + std::strerror(errno);
}

TracingPort::TracingPort(std::unique_ptr<SerialPort> inner, std::shared_ptr<SerialTrace> trace,
                         std::string portName)
    : inner_(std::move(inner)), trace_(std::move(trace)), portName_(std::move(portName)) {}

TracingPort::~TracingPort() {
  if (trace_) trace_->Flush();
}

bool TracingPort::Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                       float stopBits) {
  const bool ok = inner_->Open(baudRate, parity, dataBits, stopBits);
  trace_->Note("open " + portName_ + " at " + std::to_string(baudRate) + " baud" +
               (ok ? "" : ": failed"));
  return ok;
}

bool TracingPort::Close() {
  const bool ok = inner_->Close();
  if (ok) trace_->Note("close");
  return ok;
}

bool TracingPort::WriteByte(std::uint8_t b) {
  const bool ok = inner_->WriteByte(b);
  if (ok)
    trace_->Sent(b);
  else
    trace_->Note("a byte could not be written");
  return ok;
}

bool TracingPort::ReadByte(std::uint8_t& b) {
  const bool ok = inner_->ReadByte(b);
  if (ok)
    trace_->Received(b);
  else if (!inner_->IsOpen())
    trace_->Note("read on a closed port");
  else
    trace_->Note("no byte within " + std::to_string(readTimeoutMs_) + " ms");
  return ok;
}

bool TracingPort::Purge() { return inner_->Purge(); }

bool TracingPort::SetReadTimeout(std::uint32_t ms) {
  const bool ok = inner_->SetReadTimeout(ms);
  if (ok) readTimeoutMs_ = ms;
  return ok;
}

bool TracingPort::IsOpen() const { return inner_->IsOpen(); }

std::unique_ptr<SerialPort> TracingPort::Release() {
  trace_->Flush();
  return std::move(inner_);
}

} // namespace pw
