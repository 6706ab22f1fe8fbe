// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/X11ShareWatcher.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "capture/ShareIndicators.h"

namespace orvane {

namespace {

constexpr int kSettleMilliseconds = 20;

template <class Reply>
struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
};

std::string propertyText(xcb_connection_t* connection, xcb_get_property_cookie_t cookie) {
    const Freed<xcb_get_property_reply_t> reply{
        xcb_get_property_reply(connection, cookie, nullptr)};
    if (!reply.reply) return {};
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.reply));
    return std::string(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.reply)));
}

}  // namespace

X11ShareWatcher::X11ShareWatcher() {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, [this] { rescan(); });
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return;
    m_connection = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    const char name[] = "_NET_WM_NAME";
    const Freed<xcb_intern_atom_reply_t> atom{xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, sizeof name - 1, name), nullptr)};
    if (atom.reply) m_netWmName = atom.reply->atom;
}

X11ShareWatcher::~X11ShareWatcher() {
    m_events.reset();
    if (m_connection) xcb_disconnect(m_connection);
}

std::string X11ShareWatcher::method() const {
    return m_connection ? share::recognised() : std::string();
}

void X11ShareWatcher::watch(std::function<void(bool sharing)> onChanged) {
    m_onChanged = std::move(onChanged);
    if (!m_connection || m_events) {
        if (m_sharing && m_onChanged) m_onChanged(true);
        return;
    }
    // Top-level windows (with a window manager, their frames) arriving, going, shown, hidden.
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
    m_events = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection),
                                                 QSocketNotifier::Read);
    connect(m_events.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
    rescan();
}

void X11ShareWatcher::readEvents() {
    bool changed = false;
    while (auto* event = xcb_poll_for_event(m_connection)) {
        changed = true;
        std::free(event);
    }
    if (changed && !m_settle.isActive()) m_settle.start();
}

// The windows under the root and, as a window manager frames them, one level below.
void X11ShareWatcher::rescan() {
    const Freed<xcb_query_tree_reply_t> top{
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr)};
    if (!top.reply) return;
    std::vector<xcb_window_t> windows(
        xcb_query_tree_children(top.reply),
        xcb_query_tree_children(top.reply) + xcb_query_tree_children_length(top.reply));
    std::vector<xcb_query_tree_cookie_t> below;
    for (const auto window : windows) below.push_back(xcb_query_tree(m_connection, window));
    for (const auto& cookie : below) {
        const Freed<xcb_query_tree_reply_t> tree{
            xcb_query_tree_reply(m_connection, cookie, nullptr)};
        if (!tree.reply) continue;
        const auto* children = xcb_query_tree_children(tree.reply);
        windows.insert(windows.end(), children,
                       children + xcb_query_tree_children_length(tree.reply));
    }
    struct Asked {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t windowClass, netName, name;
    };
    std::vector<Asked> asked;
    for (const auto window : windows) {
        asked.push_back(
            {xcb_get_window_attributes(m_connection, window),
             xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
             xcb_get_property(m_connection, 0, window, m_netWmName, XCB_ATOM_ANY, 0, 256),
             xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 256)});
    }
    bool sharing = false;
    for (const auto& ask : asked) {
        const Freed<xcb_get_window_attributes_reply_t> attributes{
            xcb_get_window_attributes_reply(m_connection, ask.attributes, nullptr)};
        const auto windowClass = propertyText(m_connection, ask.windowClass);
        auto title = propertyText(m_connection, ask.netName);
        const auto oldTitle = propertyText(m_connection, ask.name);
        if (title.empty()) title = oldTitle;
        if (sharing || !attributes.reply || attributes.reply->map_state != XCB_MAP_STATE_VIEWABLE) {
            continue;
        }
        // WM_CLASS is the instance and the class, each ended by a zero byte.
        const auto split = windowClass.find('\0');
        const auto instance = windowClass.substr(0, split);
        const auto className =
            split == std::string::npos ? std::string() : windowClass.substr(split + 1);
        sharing = share::isIndicator(instance, title) || share::isIndicator(className, title);
    }
    if (sharing == m_sharing) return;
    m_sharing = sharing;
    if (m_onChanged) m_onChanged(sharing);
}

}  // namespace orvane
