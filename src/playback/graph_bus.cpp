#include "playback/graph_bus.h"

#include <gst/gst.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <optional>

namespace qelv::media {

namespace {

constexpr const char* kBranchKey = "qelv-branch";

std::string errorText(GstMessage* message) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    std::string text = error != nullptr && error->message != nullptr ? error->message : "error";
    if (error != nullptr) {
        g_error_free(error);
    }
    g_free(debug);
    return text;
}

// A QoS report carries the element's running count of dropped buffers; the difference to its
// previous report is what it lost since. A count lower than before means it started over (a
// sink restarts at every flushing seek).
void accountLoss(detail::GraphBus& bus, GstMessage* message) {
    GstFormat format = GST_FORMAT_UNDEFINED;
    guint64 processed = 0;
    guint64 dropped = 0;
    gst_message_parse_qos_stats(message, &format, &processed, &dropped);
    const int branch = branchOf(GST_MESSAGE_SRC(message));
    if (format != GST_FORMAT_BUFFERS || dropped == static_cast<guint64>(-1) || branch < 0 ||
        branch > 2) {
        return;
    }
    std::uint64_t& last = bus.lastDropped[GST_MESSAGE_SRC(message)];
    bus.lost[static_cast<std::size_t>(branch)] +=
        static_cast<std::int64_t>(dropped >= last ? dropped - last : dropped);
    last = dropped;
}

// Runs every task on a thread of its own that ends when the task is joined. GStreamer's own
// pool hands a finished task's thread to the next task that starts (the next recording's front
// camera, anything else in the process), and a thread cannot take back a priority it gave up.
struct OwnThreadPool {
    GstTaskPool parent;
};
struct OwnThreadPoolClass {
    GstTaskPoolClass parent;
};

struct PoolJob {
    GstTaskPoolFunction function;
    gpointer data;
};

gpointer runPoolJob(gpointer data) {
    const PoolJob job = *static_cast<PoolJob*>(data);
    delete static_cast<PoolJob*>(data);
    job.function(job.data);
    return nullptr;
}

gpointer pushOwnThread(GstTaskPool*, GstTaskPoolFunction function, gpointer data, GError** error) {
    auto* job = new PoolJob{function, data};
    GThread* thread = g_thread_try_new("qelv-rear", runPoolJob, job, error);
    if (thread == nullptr) {
        delete job;
    }
    return thread;
}

void joinOwnThread(GstTaskPool*, gpointer id) {
    if (id != nullptr) {
        g_thread_join(static_cast<GThread*>(id));
    }
}

void prepareNothing(GstTaskPool*, GError**) {}
void cleanUpNothing(GstTaskPool*) {}

void initOwnThreadPoolClass(gpointer klass, gpointer) {
    auto* pool = static_cast<GstTaskPoolClass*>(klass);
    pool->prepare = prepareNothing;
    pool->cleanup = cleanUpNothing;
    pool->push = pushOwnThread;
    pool->join = joinOwnThread;
}

GstTaskPool* rearTaskPool() {
    static GstTaskPool* const pool = [] {
        const GType type = g_type_register_static_simple(
            GST_TYPE_TASK_POOL, "QelvOwnThreadPool", sizeof(OwnThreadPoolClass),
            initOwnThreadPoolClass, sizeof(OwnThreadPool), nullptr, GTypeFlags{});
        return static_cast<GstTaskPool*>(gst_object_ref_sink(g_object_new(type, nullptr)));
    }();
    return pool;
}

// The rear and third cameras' threads (and the decoder threads they start) run at a lower
// priority than the front's: when the machine cannot keep up, their pictures are the ones that
// come late and are dropped, not the front's the driver watches. Their tasks get threads of
// their own as they are made; the priority is lowered from the thread itself as it starts.
void lowerRearPriority(GstMessage* message) {
    GstStreamStatusType type = GST_STREAM_STATUS_TYPE_CREATE;
    GstElement* owner = nullptr;
    gst_message_parse_stream_status(message, &type, &owner);
    const int branch = branchOf(GST_MESSAGE_SRC(message));
    if (branch != 1 && branch != 2) {
        return;
    }
    if (type == GST_STREAM_STATUS_TYPE_CREATE) {
        const GValue* value = gst_message_get_stream_status_object(message);
        if (value != nullptr && G_VALUE_HOLDS(value, GST_TYPE_TASK)) {
            gst_task_set_pool(GST_TASK(g_value_get_object(value)), rearTaskPool());
        }
    } else if (type == GST_STREAM_STATUS_TYPE_ENTER) {
        constexpr int kRearNice = 8;
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kRearNice);
    }
}

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto& bus = *static_cast<detail::GraphBus*>(data);
    std::optional<BusEvent> event;
    {
        const std::lock_guard guard(bus.lock);
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_ASYNC_DONE:
                bus.asyncDone = true;
                break;
            case GST_MESSAGE_ERROR:
                if (!bus.error) {
                    bus.errorBranch = branchOf(GST_MESSAGE_SRC(message));
                    bus.errorText = errorText(message);
                }
                bus.error = true;
                if (bus.forward) {
                    event = BusEvent{BusEvent::Kind::Error, branchOf(GST_MESSAGE_SRC(message)),
                                     errorText(message)};
                }
                break;
            case GST_MESSAGE_EOS:
                if (bus.forward) {
                    event = BusEvent{};
                }
                break;
            case GST_MESSAGE_QOS:
                accountLoss(bus, message);
                break;
            case GST_MESSAGE_STREAM_STATUS:
                // Under the lock like every message: a thread's first pass here orders what
                // the engine's thread made before it started.
                lowerRearPriority(message);
                break;
            default:
                break;
        }
        if (event && bus.onEvent != nullptr && *bus.onEvent) {
            (*bus.onEvent)(bus.generation, *event);
        }
    }
    bus.changed.notify_all();
    gst_message_unref(message);
    return GST_BUS_DROP;
}

}  // namespace

void tagBranch(GstElement* element, int branch) {
    if (element != nullptr) {
        g_object_set_data(G_OBJECT(element), kBranchKey, GINT_TO_POINTER(branch + 1));
    }
}

int branchOf(GstObject* object) {
    // Parents are read under their objects' locks: branches are added from streaming threads.
    GstObject* o = object != nullptr ? GST_OBJECT(gst_object_ref(object)) : nullptr;
    while (o != nullptr) {
        const int tagged = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(o), kBranchKey));
        if (tagged != 0) {
            gst_object_unref(o);
            return tagged - 1;
        }
        GstObject* parent = gst_object_get_parent(o);
        gst_object_unref(o);
        o = parent;
    }
    return kNoBranch;
}

namespace detail {

void watchBus(GstElement* pipeline, GraphBus* bus) {
    GstBus* gstBus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(gstBus, onBusMessage, bus, nullptr);
    gst_object_unref(gstBus);
}

void unwatchBus(GstElement* pipeline) {
    GstBus* gstBus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(gstBus, nullptr, nullptr, nullptr);
    gst_object_unref(gstBus);
}

}  // namespace detail

}  // namespace qelv::media
