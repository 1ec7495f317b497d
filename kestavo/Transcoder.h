#pragma once

#include "platform/com/Guid.h"
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

/// Kestavo, the video transcoder library: what a program that loads it at run time sees. The program binds
/// the five exported functions by name; every other object is reached through the interfaces below, whose
/// slot order is binding. Objects are created and deleted by the library's own functions (jobs through
/// `IVideoTranscoder`, which owns queued jobs; a popped job through its virtual destructor).

#define KESTAVO_API __attribute__((visibility("default")))

namespace transcoder
{
/// Interface and job type identifiers are the system's 128-bit identifiers.
using ::GUID;
using ::REFGUID;
using ::REFIID;

inline constexpr GUID IID_IBaseJob = {
    0x64FCDA6E, 0xD9E4, 0x4AE8, {0xB7, 0x31, 0xCB, 0x0A, 0x76, 0x23, 0x49, 0x45}};
inline constexpr GUID IID_IRescaler = {
    0xDFF04644, 0x46F9, 0x4736, {0x9E, 0x37, 0xC5, 0x92, 0x6A, 0xC0, 0x77, 0x92}};
/// Job types; `IVideoTranscoder::CreateJob` takes one of these, and a job answers its own in
/// `QueryInterface`.
inline constexpr GUID IID_IPSPMovieJob = {
    0x6B76E405, 0x6F84, 0x4F96, {0x90, 0x9C, 0xD8, 0x8D, 0xCB, 0xC1, 0xB3, 0x21}};
inline constexpr GUID IID_IPSPThumbJob = {
    0x6BB0DF39, 0x18BC, 0x4259, {0x91, 0xA8, 0xFF, 0xC7, 0xD3, 0x3E, 0x4C, 0x22}};
inline constexpr GUID IID_IPSPCompJob = {
    0x8043B83A, 0xA004, 0x45DC, {0x8A, 0x8C, 0x85, 0x94, 0xF7, 0xAE, 0x6D, 0xCB}};
inline constexpr GUID IID_IiPodMovieJob = {
    0x1DF7C387, 0x42FF, 0x4410, {0xB1, 0x0A, 0x34, 0xBD, 0xDD, 0x01, 0x96, 0x10}};
inline constexpr GUID IID_IBlogGIFJob = {
    0xFDD9C026, 0xE45F, 0x4A2F, {0xA1, 0xF7, 0x2C, 0x36, 0x86, 0x30, 0x2D, 0x5C}};
inline constexpr GUID IID_IBlogMovieJob = {
    0x59A6CBB7, 0x3A82, 0x49C9, {0xA1, 0x80, 0xAA, 0x90, 0x0B, 0xE7, 0xA6, 0x9C}};
inline constexpr GUID IID_IEmailMovieJob = {
    0x1C9356A2, 0x947C, 0x481D, {0xAB, 0xE4, 0xE0, 0xE3, 0x06, 0xE9, 0xBA, 0xBC}};

/// The message number passed with every job event.
inline constexpr UINT WM_TRANSCODER_EVENT = 0xAFF0;

/// Job events, the second argument of `IUIObserver::Notify`.
enum ETranscoderEvent : int
{
    TE_JOB_STARTED = 0,  ///< data: TranscoderJobInfo
    TE_JOB_PROGRESS = 1, ///< data: TranscodeProgress
    TE_JOB_ERROR = 2,    ///< data: TranscoderJobStatus, code kJobErrorDiskFull or kJobErrorConverterFailed
    TE_JOB_DONE = 3,     ///< data: TranscoderJobStatus, code 0
    TE_JOB_ABORTED = 4,  ///< data: TranscoderJobStatus, code the converter's exit code
    TE_QUEUE_DONE = 5    ///< data: int, 0 done, -1 runtime failure, else a system error code
};

inline constexpr int kJobErrorDiskFull = 112;
inline constexpr int kJobErrorConverterFailed = 1630;
/// Exit codes given to a converter that the library ends itself.
inline constexpr DWORD kHaltExitCode = 995;
inline constexpr DWORD kSilenceExitCode = 30;

struct TranscoderJobInfo
{
    const char* source;
    const char* target;
};

struct TranscoderJobStatus
{
    const char* source;
    int code;
};

/// One progress line of the converter; the fraction done is `time / inputLength`.
struct TranscodeProgress
{
    float quality;     ///< q value
    float time;        ///< seconds of the input converted so far
    float fps;         ///< frames per second
    float inputLength; ///< length of the input in seconds, 0 until known
    float size;        ///< output size in kilobytes
    std::uint32_t reserved;
    std::int32_t frame; ///< frames written
};
static_assert(sizeof(TranscodeProgress) == 28);

class IBaseJob;

class KESTAVO_API IGeneric
{
public:
    /// The requested interface of the same object, or null.
    virtual void* QueryInterface(REFIID iid) = 0;
    virtual ~IGeneric() = default;
};

/// The inner face of an object that another one aggregates.
class KESTAVO_API INonDelegatingGeneric
{
public:
    virtual void* NonDelegatingQueryInterface(REFIID iid) = 0;
    virtual ~INonDelegatingGeneric() = default;
};

class KESTAVO_API IListener
{
public:
    virtual void OnEvent(IBaseJob* job, const void* data) = 0;

protected:
    ~IListener() = default;
};

class KESTAVO_API ISubject
{
public:
    virtual void Attach(IListener* listener) = 0;
    virtual void Detach(IListener* listener) = 0;
    virtual void Notify(const void* data) = 0;
    virtual ~ISubject() = default;
};

/// A conversion job. Configure it (source, target, rescaler, its own settings) while it is queued; the
/// instance's worker runs it. Setting a null source or target throws CNullPointerException.
class KESTAVO_API IBaseJob : public IGeneric, public ISubject
{
public:
    virtual void SetSource(const char* path) = 0;
    virtual void SetTarget(const char* path) = 0;
    virtual const char* GetSource() = 0;
    virtual const char* GetTarget() = 0;
    /// Runs the conversion on the calling thread; throws CUserAbortException on halt,
    /// CNotEnoughSpaceException or CTranscoderException when the conversion failed, COSResourceException
    /// when the converter cannot be started.
    virtual void Run() = 0;
    virtual void SetHaltEvent(HANDLE event) = 0;
    virtual HANDLE GetHaltEvent() = 0;
    /// The converter's exit code of the last run, 0 before.
    virtual DWORD GetExitCode() = 0;
    virtual BOOL DeleteTarget() = 0;
};

class KESTAVO_API IPSPMovieJob : public IGeneric
{
public:
    /// Stores a copy of the text (a null pointer is ignored); it takes part in no command line.
    virtual void SetText(const char* text) = 0;
    virtual const char* GetText() = 0;
};

class KESTAVO_API IPSPThumbJob : public IGeneric
{
};

class KESTAVO_API IPSPCompJob : public IGeneric
{
};

class KESTAVO_API IiPodMovieJob : public IGeneric
{
};

class KESTAVO_API IBlogGIFJob : public IGeneric
{
public:
    virtual void SetFrameRate(int rate) = 0;
    /// 1 until set.
    virtual int GetFrameRate() = 0;
};

class KESTAVO_API IBlogMovieJob : public IGeneric
{
};

class KESTAVO_API IEmailMovieJob : public IGeneric
{
};

/// The target frame size of a job: the source is scaled into it (down always, up when enlarging), and with
/// pad on, bars keep the source's aspect ratio inside it.
class KESTAVO_API IRescaler : public IGeneric
{
public:
    /// Each dimension is raised to 1 when smaller.
    virtual void SetSize(SIZE target) = 0;
    virtual SIZE GetSize() = 0;
    virtual void SetPad(BOOL pad) = 0;
    virtual BOOL GetPad() = 0;
    virtual void SetEnlarge(BOOL enlarge) = 0;
    virtual BOOL GetEnlarge() = 0;
};

/// Implemented by the caller; called on the transcoder's worker thread, under the instance's lock, with data
/// valid only during the call. It must return promptly (post a copy) and may call back into the instance,
/// also to register or unregister observers (itself included): one unregistered is not called again, one
/// registered gets the events that follow.
class KESTAVO_API IUIObserver
{
public:
    virtual int Notify(UINT message, int event, const void* data) = 0;
    virtual ~IUIObserver() = default;
};

/// A queue of conversion jobs run one after the other on a worker thread. All operations are called from
/// the caller's thread; failures of the operations themselves throw the exception family, failures inside a
/// run arrive as events.
class KESTAVO_API IVideoTranscoder
{
public:
    virtual void RegisterCallback(IUIObserver* observer) = 0;
    virtual void UnregisterCallback(IUIObserver* observer) = 0;
    /// Queues a new job of the type; null for an unknown type. The instance owns the job while queued.
    virtual IBaseJob* CreateJob(REFGUID jobType) = 0;
    /// Takes the first queued job out of the queue; the caller owns it. Null when the queue is empty.
    virtual IBaseJob* PopJob() = 0;
    virtual void ClearJobs() = 0;
    /// Starts the worker on the queue and returns its thread handle, which the instance keeps and closes.
    /// Throws CInvalidStateException while a worker still runs, COSResourceException when none can start.
    virtual HANDLE RunJobQueue() = 0;
    /// Cancels the run and returns once the worker has ended; the instance serves no further run.
    virtual void Halt() = 0;
    /// Jobs still queued; the job being run is not counted.
    virtual int GetJobCount() = 0;
    virtual BOOL IsInterJobSyncSet() = 0;
    /// An event the worker waits for after every job (or the halt); not owned.
    virtual void SetInterJobSync(HANDLE event) = 0;
    /// Lets the worker go on after a TE_JOB_ERROR.
    virtual void SignalErrorHandled() = 0;
    virtual std::list<std::string> GetSourceList() = 0;
    virtual std::list<std::string> GetTargetList() = 0;
    /// Halts and waits for a running worker, then deletes the queued jobs.
    virtual ~IVideoTranscoder() = default;
};

/// The information `get_info` returns for a video file, by value; 104 bytes in this layout.
struct VideoFileInfo
{
    char container[16]; ///< "AVI", or "N/A" when the file could not be read
    std::int32_t width;
    std::int32_t height;
    std::int32_t reserved;
    double frameRate;
    char codec[32];    ///< codec name of the video stream, "N/A" when unknown
    char duration[16]; ///< "hh:mm:ss", "N/A" when unknown
    float seconds;     ///< length in whole seconds
    bool valid;        ///< the file was opened and read
    DWORD fourcc;      ///< handler code of the video stream, first character in the lowest byte
};
static_assert(sizeof(VideoFileInfo) == 104);
static_assert(offsetof(VideoFileInfo, width) == 16);
static_assert(offsetof(VideoFileInfo, height) == 20);
static_assert(offsetof(VideoFileInfo, reserved) == 24);
static_assert(offsetof(VideoFileInfo, frameRate) == 32);
static_assert(offsetof(VideoFileInfo, codec) == 40);
static_assert(offsetof(VideoFileInfo, duration) == 72);
static_assert(offsetof(VideoFileInfo, seconds) == 88);
static_assert(offsetof(VideoFileInfo, valid) == 92);
static_assert(offsetof(VideoFileInfo, fourcc) == 96);

/// Signatures of the exports, for binding them by name.
using CreateVideoTranscoderInstanceFn = IVideoTranscoder* (*)();
using DeleteVideoTranscoderInstanceFn = int (*)(IVideoTranscoder*);
using GetInfoFn = VideoFileInfo (*)(const char*);
using GetFrameFn = int (*)(const char*, const char*);
using CheckValidPspFn = bool (*)(const char*);

extern "C"
{
    /// A new transcoder instance, or null when it cannot be created. Throws nothing.
    KESTAVO_API IVideoTranscoder* CreateVideoTranscoderInstance();
    /// Deletes the instance (null is accepted); returns 0. Throws nothing.
    KESTAVO_API int DeleteVideoTranscoderInstance(IVideoTranscoder* instance);
    /// Information on an AVI file; the defaults with `valid` false for anything else, including a file whose
    /// headers are cut or claim a negative or absurd frame size. Throws nothing.
    KESTAVO_API VideoFileInfo get_info(const char* path);
    /// Writes the first frame of the video as the image (format by its extension) with the converter and
    /// waits for it (bounded). 0 when the image was written, -1 otherwise, at once when the video is not a
    /// regular file or the image exists as anything else. Throws nothing.
    KESTAVO_API int get_frame(const char* video, const char* image);
    /// Always true.
    KESTAVO_API bool check_valid_psp(const char* path);
}
} // namespace transcoder
