// The outputs of a Wayland compositor, as its wl_output globals name them
// (version 4). libwayland-client is opened on the first call, as pixman is:
// most starts never ask.
#include <wayland-client.h>

#include <string_view>
#include <vector>

#include "platform/LibraryCalls.h"
#include "platform/Monitors.h"

namespace {

struct WaylandCalls {
  decltype(&wl_display_connect) displayConnect = nullptr;
  decltype(&wl_display_disconnect) displayDisconnect = nullptr;
  decltype(&wl_display_roundtrip) displayRoundtrip = nullptr;
  decltype(&wl_proxy_marshal_flags) proxyMarshalFlags = nullptr;
  decltype(&wl_proxy_add_listener) proxyAddListener = nullptr;
  decltype(&wl_proxy_get_version) proxyGetVersion = nullptr;
  decltype(&wl_proxy_destroy) proxyDestroy = nullptr;
  const wl_interface* registryInterface = nullptr;
  const wl_interface* outputInterface = nullptr;
};

bool resolveAll(void* library, WaylandCalls& calls) {
  return resolveCall(library, "wl_display_connect", calls.displayConnect) &&
         resolveCall(library, "wl_display_disconnect", calls.displayDisconnect) &&
         resolveCall(library, "wl_display_roundtrip", calls.displayRoundtrip) &&
         resolveCall(library, "wl_proxy_marshal_flags", calls.proxyMarshalFlags) &&
         resolveCall(library, "wl_proxy_add_listener", calls.proxyAddListener) &&
         resolveCall(library, "wl_proxy_get_version", calls.proxyGetVersion) &&
         resolveCall(library, "wl_proxy_destroy", calls.proxyDestroy) &&
         resolveCall(library, "wl_registry_interface", calls.registryInterface) &&
         resolveCall(library, "wl_output_interface", calls.outputInterface);
}

const WaylandCalls* waylandCalls() {
  static const std::optional<WaylandCalls> calls =
      openLibraryCalls<WaylandCalls>("libwayland-client.so.0", resolveAll);
  return calls ? &*calls : nullptr;
}

// The version that tells an output's name.
constexpr uint32_t kNamedOutputVersion = 4;

struct OutputSeen {
  wl_proxy* proxy = nullptr;
  Monitor monitor;
};

struct Listing {
  const WaylandCalls* calls = nullptr;
  std::vector<OutputSeen> outputs;
};

void onGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                const char*, int32_t) {
  static_cast<OutputSeen*>(data)->monitor.geometry.moveTo(x, y);
}
void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  if (flags & WL_OUTPUT_MODE_CURRENT)
    static_cast<OutputSeen*>(data)->monitor.geometry.setSize({width, height});
}
void onDone(void*, wl_output*) {}
void onScale(void*, wl_output*, int32_t) {}
void onName(void* data, wl_output*, const char* name) {
  static_cast<OutputSeen*>(data)->monitor.name = QString::fromUtf8(name);
}
void onDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener{onGeometry, onMode, onDone, onScale, onName, onDescription};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto* listing = static_cast<Listing*>(data);
  const WaylandCalls& calls = *listing->calls;
  if (std::string_view(interface) != calls.outputInterface->name || version < kNamedOutputVersion) return;
  // What wl_registry_bind does: request 0 of the registry.
  wl_proxy* output =
      calls.proxyMarshalFlags(reinterpret_cast<wl_proxy*>(registry), 0, calls.outputInterface,
                              kNamedOutputVersion, 0, name, interface, kNamedOutputVersion, nullptr);
  if (output) listing->outputs.push_back({output, {}});
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener{onGlobal, onGlobalRemove};

}  // namespace

MonitorList waylandOutputs(const CancelToken&) {
  const WaylandCalls* calls = waylandCalls();
  if (!calls) return {};
  wl_display* display = calls->displayConnect(nullptr);
  if (!display) return {};
  auto* displayProxy = reinterpret_cast<wl_proxy*>(display);
  // What wl_display_get_registry does: request 1 of the display.
  wl_proxy* registry = calls->proxyMarshalFlags(displayProxy, 1, calls->registryInterface,
                                                calls->proxyGetVersion(displayProxy), 0, nullptr);
  Listing listing{calls, {}};
  MonitorList monitors;
  if (registry) {
    calls->proxyAddListener(
        registry, reinterpret_cast<void (**)(void)>(const_cast<wl_registry_listener*>(&kRegistryListener)),
        &listing);
    // Every output is bound by now: the list no longer moves under its listeners.
    calls->displayRoundtrip(display);
    for (OutputSeen& output : listing.outputs)
      calls->proxyAddListener(
          output.proxy, reinterpret_cast<void (**)(void)>(const_cast<wl_output_listener*>(&kOutputListener)),
          &output);
    calls->displayRoundtrip(display);
    for (const OutputSeen& output : listing.outputs) {
      if (!output.monitor.name.isEmpty()) monitors.append(output.monitor);
      calls->proxyDestroy(output.proxy);
    }
    calls->proxyDestroy(registry);
  }
  calls->displayDisconnect(display);
  return orderedMonitors(monitors);
}
