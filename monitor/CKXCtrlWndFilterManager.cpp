#include "monitor/CKXCtrlWndFilterManager.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"
#include "platform/base/clock.h"
#include "platform/com/com.h"

using namespace Gdiplus;
using quiva::ComPtr;

namespace {
// Graph area: (20, 100) to 20 from the right and 170 from the bottom.
constexpr float kGraphLeft = 20.0f, kGraphTop = 100.0f;
// Holding the button this long on the graph area turns moves into a drag of the drawing.
constexpr DWORD kDragDelayMs = 100;
}  // namespace

CKXCtrlWndFilterManager::CKXCtrlWndFilterManager()
{
    m_vScroll.deleteWithContainer = 0;
    m_hScroll.deleteWithContainer = 0;
}

CKXCtrlWndFilterManager::~CKXCtrlWndFilterManager()
{
    if (m_pEngine)
        m_pEngine->SetMessageSink(nullptr);
    DeleteAllBoxes();
    // The members go before the base: take them out of the child list first.
    ForgetChild(&m_nameEdit);
    ForgetChild(&m_startButton);
    ForgetChild(&m_stopButton);
    ForgetChild(&m_log);
}

int CKXCtrlWndFilterManager::Create(int newId, float nx, float ny, float w, float h)
{
    int result = CKXCtrlWnd::Create(newId, nx, ny, w, h);
    AddStaticText(L"Graph File명", 20, 20, 100, 25, 0, 1);
    m_nameEdit.Create(ID_NAME, 125, 20, 250, 25);
    m_nameEdit.SetEditText(L"그래프파일이름", nullptr);
    AddControl(&m_nameEdit);
    m_startButton.Create(ID_START, 20, 50, 80, 25);
    m_startButton.SetCaption(L"시작");
    m_startButton.enabled = 0;
    AddControl(&m_startButton);
    m_stopButton.Create(ID_STOP, 110, 50, 80, 25);
    m_stopButton.SetCaption(L"정지");
    m_stopButton.enabled = 0;
    AddControl(&m_stopButton);
    m_log.Create(ID_LOG, 20, 100, 0, 150);
    AddControl(&m_log);
    m_vScroll.Create(20, 0, 0, 16, 16);
    m_vScroll.parent = this;
    m_hScroll.Create(21, 0, 0, 16, 16);
    m_hScroll.parent = this;
    m_hScroll.horizontal = 1;
    m_vScroll.SetPosition(0, h - 270.0f);
    m_hScroll.SetPosition(0, w - 56.0f);
    SetSize(w, h);
    return result;
}

void CKXCtrlWndFilterManager::SetRect(float nx, float ny, float w, float h)
{
    x = nx;
    y = ny;
    SetSize(w, h);
}

void CKXCtrlWndFilterManager::SetSize(float w, float h)
{
    width = w;
    height = h;
    PlaceScrollBars();
    m_log.SetRect(20.0f, y + h - 160.0f, w - 40.0f, 150.0f);
}

void CKXCtrlWndFilterManager::PlaceScrollBars()
{
    m_vScroll.SetRect(width - 36.0f, kGraphTop, 16.0f, height - 270.0f);
    m_hScroll.SetRect(x + kGraphLeft, y + height - 186.0f, width - 56.0f, 16.0f);
    m_vScroll.SetRange(0.0f, m_fContentHeight + 40.0f);
    m_hScroll.SetRange(0.0f, m_fContentWidth + 40.0f);
    m_vScroll.SetPosition(-m_fScrollY, height - 286.0f);
    m_hScroll.SetPosition(-m_fScrollX, width - 36.0f);
    ApplyScroll();
}

void CKXCtrlWndFilterManager::ApplyScroll()
{
    m_fScrollX = m_hScroll.visible ? -m_hScroll.GetPosition() : 0.0f;
    m_fScrollY = m_vScroll.visible ? -m_vScroll.GetPosition() : 0.0f;
    for (INT_PTR i = 0; i < m_boxes.GetSize(); ++i) {
        m_boxes[i]->m_fScrollX = m_fScrollX;
        m_boxes[i]->m_fScrollY = m_fScrollY;
    }
}

RectF CKXCtrlWndFilterManager::GraphArea() const
{
    return RectF(kGraphLeft, kGraphTop, width - 40.0f, height - 270.0f);
}

void CKXCtrlWndFilterManager::DeleteAllBoxes()
{
    for (INT_PTR i = 0; i < m_boxes.GetSize(); ++i)
        delete m_boxes[i];
    m_boxes.RemoveAll();
}

void CKXCtrlWndFilterManager::SetEngine(CKXMCaptureEx* engine)
{
    if (m_pEngine && m_pEngine != engine)
        m_pEngine->SetMessageSink(nullptr);
    m_pEngine = engine;
    if (m_pEngine)
        m_pEngine->SetMessageSink([this](const CString& line) { m_log.AppendLine(line); });
}

void CKXCtrlWndFilterManager::SetRunning(BOOL running)
{
    m_bRunning = running ? 1 : 0;
    // Without a source shown there is nothing to start.
    m_startButton.enabled = running || !m_pCurrentEntry ? 0 : 1;
    m_stopButton.enabled = running ? 1 : 0;
}

void CKXCtrlWndFilterManager::LogDeviceStart(_KXMCaptureDeviceInfo* entry)
{
    m_log.Clear();
    if (entry) {
        CString line;
        line.Format(L"[%s]장치를 시작합니다.", static_cast<LPCWSTR>(entry->displayName));
        m_log.AppendLine(line);
    }
}

CKXCtrlDirectShowFilter* CKXCtrlWndFilterManager::AddFilterBox(IBaseFilter* filter)
{
    if (!filter)
        return nullptr;
    FILTER_INFO info{};
    if (FAILED(filter->QueryFilterInfo(&info)))
        return nullptr;
    if (info.pGraph)
        info.pGraph->Release();
    CString name(info.achName);
    for (INT_PTR i = 0; i < m_boxes.GetSize(); ++i)
        if (m_boxes[i]->m_strName == name)
            return m_boxes[i];

    auto* box = new CKXCtrlDirectShowFilter;
    float n = static_cast<float>(m_boxes.GetSize());
    box->Create(ID_FIRST_BOX + static_cast<int>(m_boxes.GetSize()), 40.0f, 140.0f + 65.0f * n, 270.0f, 60.0f);
    box->SetText(name);
    box->m_strName = name;
    m_boxes.Add(box);

    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())) || !pins)
        return box;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> own = ComPtr<IPin>::Adopt(pin);
        PIN_INFO pinInfo{};
        if (FAILED(pin->QueryPinInfo(&pinInfo)))
            continue;
        if (pinInfo.pFilter)
            pinInfo.pFilter->Release();
        CKXCtrlDirectShowFilter* peerBox = nullptr;
        CString peerPinName;
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.Put())) && peer) {
            PIN_INFO peerInfo{};
            if (SUCCEEDED(peer->QueryPinInfo(&peerInfo))) {
                peerPinName = peerInfo.achName;
                if (peerInfo.pFilter) {
                    peerBox = AddFilterBox(peerInfo.pFilter);
                    peerInfo.pFilter->Release();
                }
            }
        }
        box->AddPin(CString(pinInfo.achName), pinInfo.dir == PINDIR_OUTPUT ? 1 : 0, peerBox, peerPinName);
    }
    return box;
}

void CKXCtrlWndFilterManager::ShowGraph(_KXMCaptureDeviceInfo* entry)
{
    if (!entry) {
        m_nameEdit.SetEditText(L"", nullptr);
        DeleteAllBoxes();
        m_log.Clear();
        m_dwTick = GetTickCount();
        m_pCurrentEntry = nullptr;
        m_fContentWidth = m_fContentHeight = 0.0f;
        m_fScrollX = m_fScrollY = 0.0f;
        PlaceScrollBars();
        return;
    }
    m_pCurrentEntry = entry;
    m_fScrollX = m_fScrollY = 0.0f;
    m_nameEdit.SetEditText(entry->displayName, nullptr);
    if (!m_pEngine)
        return;

    DeleteAllBoxes();
    ComPtr<IEnumFilters> filters;
    IGraphBuilder* graph = m_pEngine->GetGraph();
    if (graph && SUCCEEDED(graph->EnumFilters(filters.Put())) && filters) {
        IBaseFilter* filter = nullptr;
        while (filters->Next(1, &filter, nullptr) == S_OK) {
            AddFilterBox(filter);
            filter->Release();
        }
    }
    for (INT_PTR i = 0; i < m_boxes.GetSize(); ++i) {
        m_boxes[i]->LayoutPins();
        m_boxes[i]->PlaceColumn();
    }
    float rowY = 120.0f;
    for (INT_PTR i = 0; i < m_boxes.GetSize(); ++i)
        if (!m_boxes[i]->HasConnectedInput())
            rowY = m_boxes[i]->PlaceRows(rowY);
    m_fContentWidth = m_fContentHeight = 0.0f;
    for (INT_PTR i = 0; i < m_boxes.GetSize(); ++i) {
        const CKXCtrlDirectShowFilter* b = m_boxes[i];
        m_fContentWidth = std::max(m_fContentWidth, b->x + b->width - 20.0f);
        m_fContentHeight = std::max(m_fContentHeight, b->y + b->height - 130.0f);
    }
    PlaceScrollBars();
}

void CKXCtrlWndFilterManager::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                                   CKXCtrlCursor* ctx)
{
    CKXCtrlWnd::Draw(g, offsetX, offsetY, hint, ctx);
    float scale = hint ? hint->scale : 1.0f;
    RectF clip = ScaleDrawRect(RectF(25.0f, 105.0f, width - 66.0f, height - 280.0f), scale, offsetX, offsetY);
    g->SetClip(clip);
    for (INT_PTR i = 0; i < m_boxes.GetSize(); ++i)
        m_boxes[i]->Draw(g, offsetX, offsetY, hint, ctx);
    g->ResetClip();
    Pen frame(Color(0xFF8C8C8Cu), 1.0f);
    g->DrawRectangle(&frame, ScaleDrawRect(GraphArea(), scale, offsetX, offsetY));
    if (m_vScroll.visible)
        m_vScroll.Draw(g, offsetX, offsetY, hint, ctx);
    if (m_hScroll.visible)
        m_hScroll.Draw(g, offsetX, offsetY, hint, ctx);
}

int CKXCtrlWndFilterManager::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (m_vScroll.visible && m_vScroll.OnLButtonDown(px, py, handled, ctx)) {
        ApplyScroll();
        return 1;
    }
    if (m_hScroll.visible && m_hScroll.OnLButtonDown(px, py, handled, ctx)) {
        ApplyScroll();
        return 1;
    }
    return CKXCtrlWnd::OnLButtonDown(px, py, handled, ctx);
}

int CKXCtrlWndFilterManager::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (m_vScroll.visible && m_vScroll.OnLButtonUp(px, py, handled, ctx))
        return 1;
    if (m_hScroll.visible && m_hScroll.OnLButtonUp(px, py, handled, ctx))
        return 1;
    return CKXCtrlWnd::OnLButtonUp(px, py, handled, ctx);
}

int CKXCtrlWndFilterManager::OnMouseLeave(CKXCtrlCursor* ctx)
{
    m_vScroll.OnMouseLeave(ctx);
    m_hScroll.OnMouseLeave(ctx);
    return CKXCtrlWnd::OnMouseLeave(ctx);
}

int CKXCtrlWndFilterManager::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (m_vScroll.dragging && m_vScroll.OnMouseMove(px, py, handled, ctx)) {
        ApplyScroll();
        return 1;
    }
    if (m_hScroll.dragging && m_hScroll.OnMouseMove(px, py, handled, ctx)) {
        ApplyScroll();
        return 1;
    }
    m_vScroll.OnMouseMove(px, py, handled, ctx);
    m_hScroll.OnMouseMove(px, py, handled, ctx);
    int result = CKXCtrlWnd::OnMouseMove(px, py, handled, ctx);
    if (result || !ctx || !ctx->buttonDown || !GraphArea().Contains(px, py))
        return result;
    if (GetTickCount() - ctx->pressTime <= kDragDelayMs)
        return result;
    // The drawing follows the mouse; the bars keep it within the content.
    if (m_hScroll.visible)
        m_hScroll.SetPosition(-(m_fScrollX - static_cast<float>(ctx->dragDelta[0])), m_hScroll.page);
    if (m_vScroll.visible)
        m_vScroll.SetPosition(-(m_fScrollY - static_cast<float>(ctx->dragDelta[1])), m_vScroll.page);
    ApplyScroll();
    return 1;
}

void CKXCtrlWndFilterManager::OnCommand(int cmdId, CKXCtrl* sender, CKXCtrlCursor* ctx)
{
    if (cmdId == ID_START) {
        // A graph that does not run leaves the buttons as they were before the press; with no
        // source shown (its graph deleted) the graph is empty and nothing is started.
        SetRunning(m_pEngine && m_pCurrentEntry && m_pEngine->Start(m_pEngine->m_hPreviewWnd) ? TRUE : FALSE);
    } else if (cmdId == ID_STOP) {
        if (m_pEngine) {
            m_pEngine->Stop();
            // The renderer's last picture goes; the preview shows its placeholder again.
            if (m_pEngine->m_hPreviewWnd)
                ::InvalidateRect(m_pEngine->m_hPreviewWnd, nullptr, TRUE);
        }
        SetRunning(FALSE);
    } else {
        CKXCtrlWnd::OnCommand(cmdId, sender, ctx);
    }
}
