// SPDX-License-Identifier: GPL-3.0-or-later
// A trace of the serial line for support: every byte with the time it passed and its
// direction, grouped into frames, in a text file anyone can read. TracingPort wraps the real
// port, so the link and the transactions never know the trace is there.
//
//   Pagewright serial trace, started 2025-03-02 14:05:11
//   (a legend of the marks)
//           0  --  open COM1 at 1200 baud
//          12  PC> 53 55 6A 56                                      SUjV
//         112  <PG 11 52 56 36 31 35 2D 46 56 52 5A 20 30 31 30 32  .RV615-FVRZ 0102
//         112      30 39 E6                                         09.
//
// "PC>" starts a frame the computer sent, "<PG" one the pager sent; a row without either
// continues the frame above it. A frame ends when the other side speaks or the line has been
// quiet for kTraceFramePauseMs. Each row carries the time of its first byte. Every byte is
// in the file (flushed) as soon as it has passed the port.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "link/serial_port.h"

namespace pw {

inline constexpr std::uint64_t kTraceFramePauseMs = 100;
inline constexpr std::size_t kTraceBytesPerRow = 16;

class SerialTrace {
public:
  // The file is created, or appended to, when the first line is due. It is opened as a save
  // opens its file: a pipe, a device or a link planted in a shared folder is refused.
  SerialTrace(std::filesystem::path path, Clock& clock);
  ~SerialTrace();
  SerialTrace(const SerialTrace&) = delete;
  SerialTrace& operator=(const SerialTrace&) = delete;

  // Opens the file and writes the session's heading now; false when it cannot be written.
  bool Begin();

  void Sent(std::uint8_t b);
  void Received(std::uint8_t b);
  // A line of its own between frames: the port opened, closed, a read that timed out.
  void Note(std::string_view event);
  // Ends the frame going on (its last row gets its printable column).
  void Flush();

  const std::filesystem::path& Path() const { return path_; }
  // False once the file could not be opened or written; Error() says why.
  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

private:
  enum class Direction { None, Sent, Received };
  void Add(Direction direction, std::uint8_t b);
  void EndRow();
  void Write(const std::string& text);
  void OpenFile();

  std::filesystem::path path_;
  Clock& clock_;
  std::uint64_t start_;
  std::FILE* out_ = nullptr;
  bool opened_ = false;
  std::string error_;
  Direction direction_ = Direction::None; // of the frame going on; None between frames
  std::uint64_t lastAt_ = 0;              // when its last byte passed
  std::vector<std::uint8_t> row_;         // the bytes of its row not yet complete
};

// A SerialPort that hands every call to another and records what passed in a trace.
class TracingPort final : public SerialPort {
public:
  TracingPort(std::unique_ptr<SerialPort> inner, std::shared_ptr<SerialTrace> trace,
              std::string portName);
  ~TracingPort() override;

  bool Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
            float stopBits) override;
  bool Close() override;
  bool WriteByte(std::uint8_t b) override;
  bool ReadByte(std::uint8_t& b) override;
  bool Purge() override;
  bool IsOpen() const override;
  bool SetReadTimeout(std::uint32_t ms) override;

  // The wrapped port, given back when tracing stops.
  std::unique_ptr<SerialPort> Release();

private:
  std::unique_ptr<SerialPort> inner_;
  std::shared_ptr<SerialTrace> trace_;
  std::string portName_;
  std::uint32_t readTimeoutMs_ = kReadTimeoutMs;
};

// The name of a new trace file: "trace-YYYYMMDD-HHMMSS.txt" in local time.
std::string TraceFileName(std::time_t when);

} // namespace pw
