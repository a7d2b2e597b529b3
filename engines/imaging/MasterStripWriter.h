#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct tiff;

namespace tavrin {

class TLZWEncoder;

// Fills the strips of an open LZW master line by line, encodes full strips
// on worker threads with the station's LZW encoder (libtiff's code stream,
// found faster) and writes the finished strips raw, in strip order, on the
// calling thread. Each strip is an LZW stream of its own, so the file is
// byte for byte what TIFFWriteScanline of the same lines gives. Memory: a
// few strip buffers and one encoder table per worker, never the whole page.
class TMasterStripWriter {
public:
    // The file must have its tags set; it stays the caller's.
    TMasterStripWriter(tiff* file, std::uint32_t width, std::uint32_t height, std::uint32_t rowsPerStrip);
    // Stops the workers; strips not yet written are dropped.
    ~TMasterStripWriter();
    TMasterStripWriter(const TMasterStripWriter&) = delete;
    TMasterStripWriter& operator=(const TMasterStripWriter&) = delete;

    // The buffer of the next line (width bytes); it counts once CommitLine is called.
    std::uint8_t* NextLine();
    void CommitLine();
    std::uint32_t LinesCommitted() const { return Committed; }

    // Waits for the strips in work and writes them. False when not every
    // line was committed, or a strip could not be encoded or written; then
    // Error says why. After the first strip that fails no more are written.
    bool Finish();
    const std::string& Error() const { return Failure; }

private:
    struct TStrip {
        std::uint32_t Index = 0;
        std::uint32_t Rows = 0;
        std::unique_ptr<std::uint8_t[]> Pixels;
        std::vector<std::uint8_t> Encoded;  // the strip's LZW stream
        bool Done = false;
        bool Ok = false;
        std::string Error;  // the reason when it is not Ok
    };

    void StartStrip();
    void SubmitStrip();
    bool WriteFinishedStrips(bool waitForOne);
    void WorkerLoop();
    void EncodeStrip(TStrip& strip, std::unique_ptr<TLZWEncoder>& encoder) const;

    tiff* File;
    const std::uint32_t Width;
    const std::uint32_t Height;
    const std::uint32_t RowsPerStrip;
    std::size_t MaxBuffers = 2;
    std::uint32_t Committed = 0;
    std::uint32_t RowInStrip = 0;
    bool WriteFailed = false;
    std::string Failure;

    std::unique_ptr<TStrip> Filling;
    std::vector<std::unique_ptr<TStrip>> Spare;
    std::deque<std::unique_ptr<TStrip>> InWork;  // strip order; owned here, encoded by the workers

    std::mutex Mutex;
    std::condition_variable WorkArrived;
    std::condition_variable StripEncoded;
    std::deque<TStrip*> ToEncode;
    bool Stopping = false;
    std::vector<std::thread> Workers;
};

}  // namespace tavrin
