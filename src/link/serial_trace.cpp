// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/serial_trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/local_time.h"
#include "files/file_io.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

// The trace's file as a stream for appending; the descriptor is closed either way.
std::FILE* AppendStream(int fd) {
#ifdef _WIN32
  std::FILE* file = _fdopen(fd, "ab");
  if (!file)
    _close(fd);
#else
  std::FILE* file = ::fdopen(fd, "ab");
  if (!file)
    ::close(fd);
#endif
  return file;
}

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

SerialTrace::~SerialTrace() {
  Flush();
  if (out_)
    std::fclose(out_);
}

void SerialTrace::Sent(std::uint8_t b) { Add(Direction::Sent, b); }
void SerialTrace::Received(std::uint8_t b) { Add(Direction::Received, b); }

// Each byte goes into the file as it passes, so a program that ends abruptly loses none: a
// row's time and mark when its first byte comes, each byte's hex as it comes, and the
// printable column when the row is full or the frame ends.
void SerialTrace::Add(Direction direction, std::uint8_t b) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::uint64_t now = clock_.Ticks();
  if (direction_ != Direction::None &&
      (direction != direction_ || now - lastAt_ > kTraceFramePauseMs))
    Flush();
  if (row_.empty()) {
    const std::string_view mark = direction_ != Direction::None
                                      ? kContinuedMark
                                      : (direction == Direction::Sent ? kSentMark : kReceivedMark);
    Write(Stamp(now - start_) + std::string(mark) + " ");
  }
  direction_ = direction;
  lastAt_ = now;
  row_.push_back(b);
  Write(std::string{kHex[b >> 4], kHex[b & 0x0F], ' '});
  if (row_.size() == kTraceBytesPerRow)
    EndRow();
}

void SerialTrace::EndRow() {
  if (row_.empty())
    return;
  std::string text((kTraceBytesPerRow - row_.size()) * 3, ' ');
  text += ' ';
  for (std::uint8_t v : row_)
    text += (v >= 0x20 && v < 0x7F) ? static_cast<char>(v) : '.';
  text += '\n';
  row_.clear();
  Write(text);
}

void SerialTrace::Note(std::string_view event) {
  Flush();
  Write(Stamp(clock_.Ticks() - start_) + std::string(kNoteMark) + " " + std::string(event) + "\n");
}

void SerialTrace::Flush() {
  EndRow();
  direction_ = Direction::None;
}

bool SerialTrace::Begin() {
  Write({});
  return Ok();
}

void SerialTrace::OpenFile() {
  opened_ = true;
  bool created = false;
  std::string reason;
  const int fd = OpenForAppending(path_, false, created, reason);
  if (fd >= 0 && !(out_ = AppendStream(fd)))
    reason = std::strerror(errno);
  if (!out_) {
    error_ = "Cannot write the serial trace \"" + path_.string() + "\": " + reason;
    return;
  }
  // Each session of the trace starts with its own heading, also in a file it shares.
  std::string heading;
  std::fseek(out_, 0, SEEK_END);
  if (std::ftell(out_) > 0)
    heading = "\n";
  heading += "Pagewright serial trace, started " +
             LocalTimeText(std::time(nullptr), "%Y-%m-%d %H:%M:%S") + "\n" + std::string(kLegend);
  std::fputs(heading.c_str(), out_);
}

void SerialTrace::Write(const std::string& text) {
  if (!error_.empty()) return;
  if (!opened_) OpenFile();
  if (!out_)
    return;
  std::fwrite(text.data(), 1, text.size(), out_);
  if (std::fflush(out_) != 0 || std::ferror(out_))
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
