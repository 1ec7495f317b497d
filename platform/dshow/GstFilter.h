#pragma once

#include "Devices.h"
#include "RecordingBin_gst.h"

#include "platform/dshow/Strmif.h"
#include "platform/dshowbase/Filter.h"

#include <gst/gst.h>

#include <memory>
#include <string>
#include <vector>

/// Our filters: DirectShow filters whose streaming is done by GStreamer. While the graph is stopped they
/// are only pins and media types; when it starts, each filter with a connection adds its elements to
/// the graph's pipeline and hands out the pads that stand for its pins.
namespace platform::dshow
{
// Private identities, so that the graph and the builder reach our side of a filter or pin.
DEFINE_GUID(IID_IGstFilterPrivate, 0x5E2D6A10, 0x41C7, 0x4B0E, 0x9B, 0x61, 0x2F, 0x0D, 0x7A, 0x93, 0x11,
            0x01);
DEFINE_GUID(IID_IGstPinPrivate, 0x5E2D6A10, 0x41C7, 0x4B0E, 0x9B, 0x61, 0x2F, 0x0D, 0x7A, 0x93, 0x11, 0x02);

class CGstFilter;

/// Input pin accepting one major type (GUID_NULL: any).
class CGstInputPin : public CBaseInputPin
{
public:
    CGstInputPin(CGstFilter* filter, CCritSec* lock, LPCWSTR name, const GUID& majorType);
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    /// Takes a new type for a standing connection (the upstream format changed).
    void Retype(const CMediaType& type);
    CGstFilter* Filter() const { return m_owner; }
    const GUID& MajorType() const { return m_major; }
    /// The output pin this pin is connected to when that pin is connected back to this one; null for a
    /// connection that the other side has left.
    IPin* LivePeer() const;

private:
    CGstFilter* m_owner;
    GUID m_major;
};

/// Output pin of a pin category; its types come from the filter.
class CGstOutputPin : public CBaseOutputPin
{
public:
    CGstOutputPin(CGstFilter* filter, CCritSec* lock, LPCWSTR name, const GUID& category);
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    /// Takes a new type for a standing connection and passes it downstream.
    void Retype(const CMediaType& type);
    const GUID& Category() const { return m_category; }
    CGstFilter* Filter() const { return m_owner; }
    /// The input pin this pin is connected to, when that pin is connected back to this one.
    CGstInputPin* LivePeer() const;

private:
    CGstFilter* m_owner;
    GUID m_category;
};

/// What a filter needs to build its part of a pipeline.
struct Realisation
{
    GstBin* pipeline = nullptr;
    /// The first missing element factory, when realising fails for that reason.
    std::string missing;
};

class CGstFilter : public CBaseFilter
{
public:
    CGstFilter(LPCSTR name, LPUNKNOWN outer, REFCLSID classId);

    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** object) override;

    /// Our side of a filter or pin of the graph; null for filters of others.
    static CGstFilter* From(IBaseFilter* filter);
    static CGstOutputPin* OutputFrom(IPin* pin);
    static CGstInputPin* InputFrom(IPin* pin);

    /// Types of an output pin, position by position (VFW_S_NO_MORE_ITEMS after the last).
    virtual HRESULT GetOutputType(CGstOutputPin* pin, int position, CMediaType* type);
    virtual HRESULT CheckOutputType(CGstOutputPin* pin, const CMediaType* type);
    virtual HRESULT CheckInputType(CGstInputPin* pin, const CMediaType* type);
    /// An input's connection was made, broken or given a new type.
    virtual void OnInputChanged(CGstInputPin* pin);

    /// Adds the filter's elements to the pipeline. Called only for filters with a live connection.
    virtual HRESULT Realise(Realisation& realisation) = 0;
    /// Forgets the elements (the pipeline goes with them).
    virtual void Unrealise();
    /// A src pad (with a reference) carrying an output pin's stream, made for one connection.
    virtual GstPad* OutputPad(CGstOutputPin* pin);
    /// The sink pad (with a reference) of an input pin.
    virtual GstPad* InputPad(CGstInputPin* pin);
    /// Outputs whose pads stall the stream when left unlinked get a fake sink from the graph.
    virtual bool NeedsSinkForUnconnected(CGstOutputPin*) const { return true; }
    /// Inputs linked by the filter itself when its stream starts (the ASF writer).
    virtual bool LinksLate(CGstInputPin*) const { return false; }
    /// Whether a message of `object` comes from this filter's elements.
    bool Owns(GstObject* object) const;
    /// The capture device of a capture filter.
    virtual const DeviceRecord* Device() const { return nullptr; }
    /// For a filter that writes a file (LinksLate inputs): the recording branch of its file stream,
    /// `audio` telling whether a microphone feeds it. Null with the reason in `hr`.
    virtual std::unique_ptr<gst::RecordingBin> MakeRecording(bool audio, HRESULT* hr, std::string* missing);

    /// Passes a new type from `input` on to every connected output (for filters that do not change
    /// the stream's type).
    void PassTypeDownstream(CGstInputPin* input);

protected:
    /// Adds `element` to the pipeline and remembers it as one of the filter's own.
    void Adopt(Realisation& realisation, GstElement* element);

    CCritSec m_filterLock;
    std::vector<GstElement*> m_elements;
};

/// A fixed-size block of 1 byte for the unused sample allocators of our pins.
void MinimalBuffers(ALLOCATOR_PROPERTIES* request);

/// Media types of camera modes and back.
GUID SubtypeForFormat(const std::string& format);
std::string FormatForSubtype(const GUID& subtype);
CMediaType VideoTypeForMode(const VideoMode& mode, Fraction rate);
CMediaType AudioType(int sampleRate, int channels);
/// Picture size and frame time of a video type in FORMAT_VideoInfo or FORMAT_VideoInfo2; false for
/// other types.
bool VideoInfoOf(const AM_MEDIA_TYPE& type, int* width, int* height, REFERENCE_TIME* frameTime);

/// A wide name from our UTF-8 text, and back.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
} // namespace platform::dshow
