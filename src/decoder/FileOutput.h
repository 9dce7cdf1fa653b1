#pragma once

#include "decoder/AudioOutput.h"

#include <string>

namespace cantorel::mpeg {

// A PCM file: WAV when its name ends in ".wav", else raw little-endian samples. Streams
// played one after another go into the same file, one after another: the first open
// creates it, a later one (after close()) appends in the same format. The file is closed
// and complete after every stream, so that a pipe's reader sees its end.
class FileOutput : public AudioOutput {
public:
    explicit FileOutput(std::string path) : path_(std::move(path)) {}
    ~FileOutput() override { close(); }
    bool open(long rate, int channels) override;
    bool write(const unsigned char* data, std::size_t bytes) override;
    std::optional<std::int64_t> queuedFrames() override { return 0; }
    bool drop() override { return true; }
    void drain() override {}
    bool finish() override;
    void close() override;
    bool audible() const override { return false; }

    const std::string& path() const { return path_; }

private:
    bool writeHeader();

    std::string path_;
    int fd_ = -1;
    bool created_ = false;
    long fileRate_ = 0;
    int fileChannels_ = 0;
    bool wav_ = false;
    std::uint64_t dataBytes_ = 0;
};

} // namespace cantorel::mpeg
