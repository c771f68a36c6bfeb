// The video sink's pool of shared-memory frames: the colour conversion before the
// sink writes each frame straight into memory the X server can read, so the cpu
// renderer puts it on the window without a copy of its own.
//
// Implements: a GstAllocator whose memories are whole shared memory files
//   (common/shared_frames.cpp), a probe on the sink's pad that offers a video
//   buffer pool over it in reply to the allocation query, and lending a decoded
//   frame to the child video in place (with its segment when it is shared).
// Does not: share or copy memories within a segment (NO_SHARE: GStreamer copies
//   instead), or offer a pool when upstream was already given one.
#include "shared_pool.h"

#include <gst/video/video.h>

namespace fwgst {

namespace {

const char kMemoryType[] = "FwSharedFrame";

struct SharedMemory {
    GstMemory memory;
    fwlayer::SharedFrameSegment segment;
};

struct SharedAllocator {
    GstAllocator parent;
};

struct SharedAllocatorClass {
    GstAllocatorClass parent;
};

GstMemory* sharedAlloc(GstAllocator* allocator, gsize size, GstAllocationParams* params) {
    gsize whole = size + params->prefix + params->padding;
    fwlayer::SharedFrameSegment segment;
    if (!fwlayer::sharedFrameSegmentCreate(whole, &segment)) return nullptr;
    SharedMemory* shared = g_new0(SharedMemory, 1);
    // A fresh segment is zero-filled, whatever the flags ask.
    gst_memory_init(GST_MEMORY_CAST(shared), GstMemoryFlags(params->flags | GST_MEMORY_FLAG_NO_SHARE), allocator,
                    nullptr, whole, params->align, params->prefix, size);
    shared->segment = segment;
    return GST_MEMORY_CAST(shared);
}

void sharedFree(GstAllocator*, GstMemory* memory) {
    SharedMemory* shared = reinterpret_cast<SharedMemory*>(memory);
    fwlayer::sharedFrameSegmentFree(shared->segment);
    g_free(shared);
}

gpointer sharedMap(GstMemory* memory, gsize, GstMapFlags) {
    return reinterpret_cast<SharedMemory*>(memory)->segment.base;
}

void sharedUnmap(GstMemory*) {}

GstMemory* sharedShare(GstMemory*, gssize, gssize) { return nullptr; }

void sharedAllocatorClassInit(gpointer klass, gpointer) {
    GstAllocatorClass* allocatorClass = GST_ALLOCATOR_CLASS(klass);
    allocatorClass->alloc = sharedAlloc;
    allocatorClass->free = sharedFree;
}

void sharedAllocatorInit(GTypeInstance* instance, gpointer) {
    GstAllocator* allocator = GST_ALLOCATOR(instance);
    allocator->mem_type = kMemoryType;
    allocator->mem_map = sharedMap;
    allocator->mem_unmap = sharedUnmap;
    allocator->mem_share = sharedShare;
    GST_OBJECT_FLAG_SET(allocator, GST_ALLOCATOR_FLAG_CUSTOM_ALLOC);
}

GType sharedAllocatorType() {
    static GType type = g_type_register_static_simple(GST_TYPE_ALLOCATOR, "FwSharedFrameAllocator",
                                                      sizeof(SharedAllocatorClass), sharedAllocatorClassInit,
                                                      sizeof(SharedAllocator), sharedAllocatorInit, GTypeFlags(0));
    return type;
}

// One allocator for the process, as GStreamer's own are.
GstAllocator* sharedAllocator() {
    static GstAllocator* allocator = [] {
        GstAllocator* made = GST_ALLOCATOR(g_object_new(sharedAllocatorType(), nullptr));
        gst_object_ref_sink(made);
        return made;
    }();
    return allocator;
}

// Before the sink answers: a pool over shared memory, and its allocator first
// among the parameters, since the converter takes the first of each.
GstPadProbeReturn offerPool(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstQuery* query = GST_PAD_PROBE_INFO_QUERY(info);
    if (!query || GST_QUERY_TYPE(query) != GST_QUERY_ALLOCATION || !fwlayer::sharedFramesAreWanted() ||
        gst_query_get_n_allocation_pools(query) > 0)
        return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_query_parse_allocation(query, &caps, nullptr);
    GstVideoInfo video;
    if (!caps || !gst_video_info_from_caps(&video, caps)) return GST_PAD_PROBE_OK;
    GstBufferPool* pool = gst_video_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(config, caps, guint(video.size), 0, 0);
    gst_buffer_pool_config_set_allocator(config, sharedAllocator(), nullptr);
    if (gst_buffer_pool_set_config(pool, config)) {
        gst_query_add_allocation_pool(query, pool, guint(video.size), 0, 0);
        if (gst_query_get_n_allocation_params(query) > 0)
            gst_query_set_nth_allocation_param(query, 0, sharedAllocator(), nullptr);
        else gst_query_add_allocation_param(query, sharedAllocator(), nullptr);
    }
    gst_object_unref(pool);
    return GST_PAD_PROBE_OK;
}

}  // namespace

void offerSharedFrames(GstElement* sink) {
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    if (!pad) return;
    gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM | GST_PAD_PROBE_TYPE_PUSH), offerPool,
                      nullptr, nullptr);
    gst_object_unref(pad);
}

namespace {

bool sharedSegmentOf(GstBuffer* buffer, fwlayer::SharedFrameSegment* segment) {
    if (gst_buffer_n_memory(buffer) != 1) return false;
    GstMemory* memory = gst_buffer_peek_memory(buffer, 0);
    if (!memory || !gst_memory_is_type(memory, kMemoryType)) return false;
    *segment = reinterpret_cast<SharedMemory*>(memory)->segment;
    return true;
}

// A decoded frame lent to the child video, mapped (and so referenced) until it is
// handed back.
struct LentFrame {
    GstVideoFrame frame;
};

void releaseLentFrame(void* user) {
    LentFrame* lent = static_cast<LentFrame*>(user);
    gst_video_frame_unmap(&lent->frame);
    delete lent;
}

}  // namespace

void lendFrame(fwlayer::ChildVideo* video, GstSample* sample) {
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) return;
    LentFrame* lent = new LentFrame();
    if (!gst_video_frame_map(&lent->frame, &info, buffer, GST_MAP_READ)) {
        delete lent;
        return;
    }
    const uint8_t* pixels = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&lent->frame, 0));
    fwlayer::SharedFrameSegment segment = {0, -1, nullptr, 0};
    sharedSegmentOf(buffer, &segment);
    fwlayer::childVideoLendSharedFrame(video, pixels, GST_VIDEO_FRAME_WIDTH(&lent->frame),
                                       GST_VIDEO_FRAME_HEIGHT(&lent->frame),
                                       GST_VIDEO_FRAME_PLANE_STRIDE(&lent->frame, 0), segment, &releaseLentFrame, lent);
}

}  // namespace fwgst
