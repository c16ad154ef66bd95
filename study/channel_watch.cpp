// Decode events in, the watched state of the eight channels out.
#include "study/channel_watch.h"

#include <cmath>
#include <cstdio>

#include "common/signal_layout.h"

namespace {

std::int64_t TenthOf(double ms) {
  return static_cast<std::int64_t>(std::fmax(0, std::floor(std::fmin(ms, 1e15) / 100)));
}

}  // namespace

double FrameCounts::LostPercent() const {
  const auto all = static_cast<double>(Frames + Lost);
  return all > 0 ? 100.0 * static_cast<double>(Lost) / all : 0;
}

void ChannelWatch::OnRuns(const std::int32_t* durations, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    fit_.Add(durations[i]);
    if (durations[i] > 0) unitsSoFar_ += durations[i];
  }
  signalMs_ = unitsSoFar_ * 1000 / UnitsPerSecond;
}

void ChannelWatch::OnFrame(const DecodedFrame& frame) {
  frameEndMs_ = frame.EndMs;
  for (std::size_t c = 1; c <= ChannelCount; ++c) {
    WatchedChannel& channel = channels_[c - 1];
    if (frame.Positions[c] >= 0) {
      channel.Position = frame.Positions[c];
      channel.PositionMs = frame.EndMs;
    }
    if (frame.Deltas[c] >= 0) {
      channel.Delta = frame.Deltas[c];
      channel.DeltaMs = frame.EndMs;
    }
  }
  Count(frame.EndMs, false);
}

void ChannelWatch::OnLostFrame(double ms, FrameLoss /*why*/) {
  Count(ms, true);
}

// A doubtful frame shows none of its values: it counts as lost.
void ChannelWatch::OnDoubtfulFrame(const DecodedFrame& frame, FrameDoubt /*why*/) {
  Count(frame.EndMs, true, true);
}

void ChannelWatch::Count(double ms, bool lost, bool doubtful) {
  const auto tenth = TenthOf(ms);
  const auto slot = static_cast<std::size_t>(tenth % Tenths);
  if (recentTenth_[slot] != tenth) {
    recent_[slot] = {};
    recentTenth_[slot] = tenth;
  }
  ++(lost ? recent_[slot].Lost : recent_[slot].Frames);
  ++(lost ? total_.Lost : total_.Frames);
  recent_[slot].Doubtful += doubtful;
  total_.Doubtful += doubtful;
}

// The ten whole tenths before the one `nowMs` is in: a whole second, never part of one.
FrameCounts ChannelWatch::LastSecond(double nowMs) const {
  const std::int64_t now = TenthOf(nowMs);
  FrameCounts counts;
  for (std::size_t slot = 0; slot < Tenths; ++slot) {
    if (recentTenth_[slot] >= now - (Tenths - 1) && recentTenth_[slot] < now &&
        (recent_[slot].Frames || recent_[slot].Lost)) {
      counts.Frames += recent_[slot].Frames;
      counts.Lost += recent_[slot].Lost;
      counts.Doubtful += recent_[slot].Doubtful;
    }
  }
  return counts;
}

int RoundedPercent(int tenths) {
  return (tenths + (tenths < 0 ? -5 : 5)) / 10;
}

std::optional<int> ChannelWatch::Percent(int channel) const {
  const int position = Channel(channel).Position;
  if (!percent_ || position < 0) return std::nullopt;
  return percent_(channel, position);
}

std::string ChannelWatch::StatusLine(double ms) const {
  char buffer[384];
  int at = std::snprintf(buffer, sizeof buffer, "%9.3f s", ms / 1000);
  for (int c = 1; c <= 8; ++c) {
    const int position = Channel(c).Position;
    at += position < 0 ? std::snprintf(buffer + at, sizeof buffer - static_cast<std::size_t>(at),
                                       "  ch%d    -", c)
                       : std::snprintf(buffer + at, sizeof buffer - static_cast<std::size_t>(at),
                                       "  ch%d %4d", c, position);
    if (const auto percent = Percent(c)) {
      at += std::snprintf(buffer + at, sizeof buffer - static_cast<std::size_t>(at), " %+4d%%",
                          RoundedPercent(*percent));
    }
  }
  const FrameCounts second = LastSecond(ms);
  at += std::snprintf(buffer + at, sizeof buffer - static_cast<std::size_t>(at),
                      "  %llu fps  lost %llu (%.1f%%) last s, %llu (%.1f%%) in all",
                      static_cast<unsigned long long>(second.Frames + second.Lost),
                      static_cast<unsigned long long>(second.Lost), second.LostPercent(),
                      static_cast<unsigned long long>(total_.Lost), total_.LostPercent());
  if (total_.Doubtful > 0) {
    std::snprintf(buffer + at, sizeof buffer - static_cast<std::size_t>(at), ", %llu doubtful",
                  static_cast<unsigned long long>(total_.Doubtful));
  }
  return buffer;
}
