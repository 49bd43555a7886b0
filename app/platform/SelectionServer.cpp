#include "platform/SelectionServer.h"

#include "platform/Freed.h"

#include <xcb/xcb.h>

#include <algorithm>

namespace quillet {
namespace {

// How long a requestor may go without asking for the next piece of a transfer before it is
// given up: it hangs or has gone.
constexpr std::chrono::seconds transferSilence { 10 };

} // namespace

SelectionServer::SelectionServer(xcb_connection_t* connection, const SelectionAtoms& atoms)
    : m_connection(connection)
    , m_atoms(atoms)
    // A property change carries at most the request's size; larger formats go in pieces.
    , m_maximumPiece(std::min<uint32_t>(xcb_get_maximum_request_length(connection) * 4 - 64, 1u << 20))
{
}

SelectionServer::~SelectionServer()
{
    for (const auto& [requestor, count] : m_watched) {
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, &none);
    }
}

std::vector<uint32_t> SelectionServer::serve(
    const void* message, const std::vector<SelectionFormat>& formats, uint32_t ownedSince)
{
    const auto* request = static_cast<const xcb_selection_request_event_t*>(message);
    // Old clients name no property: the target is the property then.
    const uint32_t property = request->property == XCB_NONE ? request->target : request->property;
    std::vector<uint32_t> served;
    if (request->target != m_atoms.multiple) {
        notify(request,
            put(request->requestor, property, request->target, formats, ownedSince, served) ? property : XCB_NONE);
        return served;
    }
    // Pairs of a target and the property to put it in; a pair that cannot be served has its
    // property replaced by None.
    if (request->property == XCB_NONE) {
        notify(request, XCB_NONE);
        return served;
    }
    Freed pairs { xcb_get_property_reply(m_connection,
        xcb_get_property(m_connection, 0, request->requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr) };
    if (!pairs || pairs->format != 32) {
        notify(request, XCB_NONE);
        return served;
    }
    const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(pairs.get()));
    std::vector<uint32_t> answered(values, values + xcb_get_property_value_length(pairs.get()) / 4);
    for (std::size_t i = 0; i + 1 < answered.size(); i += 2) {
        if (answered[i] == m_atoms.multiple
            || !put(request->requestor, answered[i + 1], answered[i], formats, ownedSince, served))
            answered[i + 1] = XCB_NONE;
    }
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, property, m_atoms.atomPair, 32,
        uint32_t(answered.size()), answered.data());
    notify(request, property);
    return served;
}

void SelectionServer::refuse(const void* request)
{
    notify(request, XCB_NONE);
}

bool SelectionServer::put(uint32_t requestor, uint32_t property, uint32_t target,
    const std::vector<SelectionFormat>& formats, uint32_t ownedSince, std::vector<uint32_t>& served)
{
    if (property == XCB_NONE)
        return false;
    if (target == m_atoms.targets) {
        std::vector<uint32_t> targets { m_atoms.targets, m_atoms.timestamp, m_atoms.multiple };
        for (const SelectionFormat& format : formats)
            targets.push_back(format.target);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_ATOM, 32,
            uint32_t(targets.size()), targets.data());
        return true;
    }
    if (target == m_atoms.timestamp) {
        xcb_change_property(
            m_connection, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_INTEGER, 32, 1, &ownedSince);
        return true;
    }
    const auto format = std::find_if(
        formats.begin(), formats.end(), [&](const SelectionFormat& candidate) { return candidate.target == target; });
    if (format == formats.end() || !format->data)
        return false;
    putFormat(requestor, property, *format);
    served.push_back(target);
    return true;
}

void SelectionServer::putFormat(uint32_t requestor, uint32_t property, const SelectionFormat& format)
{
    const std::string& data = *format.data;
    const uint8_t unit = std::max<uint8_t>(1, format.format / 8);
    if (data.size() <= m_maximumPiece) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, format.type, format.format,
            uint32_t(data.size() / unit), data.data());
        return;
    }
    // Too large for one request: the requestor deletes each piece to ask for the next.
    watch(requestor, true);
    const uint32_t size = uint32_t(std::min<std::size_t>(data.size(), UINT32_MAX));
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, m_atoms.incr, 32, 1, &size);
    m_transfers.push_back(
        { .requestor = requestor, .property = property, .format = format, .sent = 0, .heard = Clock::now() });
}

void SelectionServer::notify(const void* message, uint32_t property)
{
    const auto* request = static_cast<const xcb_selection_request_event_t*>(message);
    xcb_selection_notify_event_t notify {};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = property;
    xcb_send_event(
        m_connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
    xcb_flush(m_connection);
}

void SelectionServer::watch(uint32_t requestor, bool watching)
{
    int& count = m_watched[requestor];
    count += watching ? 1 : -1;
    if (watching && count == 1) {
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, &events);
    } else if (!watching && count == 0) {
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, &none);
        m_watched.erase(requestor);
    }
}

bool SelectionServer::handle(const void* message)
{
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (notify->state != XCB_PROPERTY_DELETE)
        return m_watched.contains(notify->window);
    const auto transfer = std::find_if(m_transfers.begin(), m_transfers.end(), [&](const Transfer& candidate) {
        return candidate.requestor == notify->window && candidate.property == notify->atom;
    });
    if (transfer == m_transfers.end())
        return m_watched.contains(notify->window);
    const std::string& data = *transfer->format.data;
    const std::size_t length = std::min<std::size_t>(m_maximumPiece, data.size() - transfer->sent);
    const uint32_t units = uint32_t(length / std::max<uint8_t>(1, transfer->format.format / 8));
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, transfer->requestor, transfer->property,
        transfer->format.type, transfer->format.format, units, data.data() + transfer->sent);
    transfer->sent += length;
    transfer->heard = Clock::now();
    if (length == 0) {
        const uint32_t requestor = transfer->requestor;
        m_transfers.erase(transfer);
        watch(requestor, false);
    }
    return true;
}

std::optional<SelectionServer::Clock::duration> SelectionServer::expire()
{
    const auto now = Clock::now();
    std::optional<Clock::duration> next;
    std::vector<uint32_t> silent;
    std::erase_if(m_transfers, [&](const Transfer& transfer) {
        const auto left = transfer.heard + transferSilence - now;
        if (left > Clock::duration::zero()) {
            next = next ? std::min(*next, left) : left;
            return false;
        }
        silent.push_back(transfer.requestor);
        return true;
    });
    for (const uint32_t requestor : silent)
        watch(requestor, false);
    return next;
}

} // namespace quillet
