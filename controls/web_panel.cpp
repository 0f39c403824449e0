#include "controls/web_panel.h"

#include <cstring>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <ole2.h>

#include "util/handles.h"
#include "util/wide_text.h"

namespace {

constexpr wchar_t kPanelClass[] = L"MorvaneWebPanel";
// How long the panel waits for the browser's blank page; a browser without a
// working HTML engine never shows one.
constexpr DWORD kBlankPageWaitMs = 3000;
// The HTML engine's document class (CLSID_HTMLDocument, which MinGW's uuid
// library lacks).
const CLSID kHtmlDocumentClass = {
    0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

// An argument of an event: VT_BYREF | VT_VARIANT arguments lead to the value.
const VARIANT& ValueOf(const VARIANT& argument)
{
    if (argument.vt == (VT_BYREF | VT_VARIANT) && argument.pvarVal != nullptr) {
        return *argument.pvarVal;
    }
    return argument;
}

std::string TextOf(const VARIANT& argument)
{
    const VARIANT& value = ValueOf(argument);
    if (value.vt == VT_BSTR && value.bstrVal != nullptr) {
        return NarrowText(std::wstring(value.bstrVal, SysStringLen(value.bstrVal)));
    }
    if (value.vt == (VT_BYREF | VT_BSTR) && value.pbstrVal != nullptr &&
        *value.pbstrVal != nullptr) {
        return NarrowText(std::wstring(*value.pbstrVal, SysStringLen(*value.pbstrVal)));
    }
    return std::string();
}

long LongOf(const VARIANT& argument)
{
    VARIANT converted;
    VariantInit(&converted);
    long result = 0;
    if (SUCCEEDED(
            VariantChangeType(&converted, const_cast<VARIANT*>(&ValueOf(argument)), 0, VT_I4))) {
        result = converted.lVal;
    }
    VariantClear(&converted);
    return result;
}

std::vector<unsigned char> BytesOf(const VARIANT& argument)
{
    std::vector<unsigned char> bytes;
    const VARIANT& value = ValueOf(argument);
    if ((value.vt & VT_ARRAY) == 0 || value.parray == nullptr) {
        return bytes;
    }
    SAFEARRAY* array = value.parray;
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    void* data = nullptr;
    if (upper >= lower && SUCCEEDED(SafeArrayAccessData(array, &data))) {
        const auto* begin = static_cast<const unsigned char*>(data);
        bytes.assign(begin, begin + (upper - lower + 1));
        SafeArrayUnaccessData(array);
    }
    return bytes;
}

UniqueComPtr<IUnknown> IdentityOf(IUnknown* object)
{
    UniqueComPtr<IUnknown> identity;
    if (object != nullptr) {
        object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.put()));
    }
    return identity;
}

// The container side of the embedded browser: its client site, in-place site
// and frame, and the sink of its events, which it passes to the panel's
// parent as WM_NOTIFY. Reference counted; the panel holds one reference.
class CBrowserSite final : public IOleClientSite,
                           public IOleInPlaceSite,
                           public IOleInPlaceFrame,
                           public IDispatch {
public:
    explicit CBrowserSite(HWND panel) : panel_(panel) {}

    void SetTopLevel(IUnknown* browser) { topLevel_ = IdentityOf(browser); }
    void Disconnect()
    {
        topLevel_.reset();
        panel_ = nullptr;
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *object = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *object = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *object = static_cast<IOleInPlaceFrame*>(this);
        } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *object = static_cast<IDispatch*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override
    {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        *window = panel_;
        return panel_ != nullptr ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame,
                                               IOleInPlaceUIWindow** document, LPRECT position,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        RECT client{};
        if (panel_ != nullptr) {
            GetClientRect(panel_, &client);
        }
        *position = client;
        *clip = client;
        info->fMDIApp = FALSE;
        info->hwndFrame = panel_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow and IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override
    {
        return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override
    {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDispatch: the browser's events; nothing else is served.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                     VARIANT*, EXCEPINFO*, UINT*) override
    {
        try {
            return OnEvent(id, parameters);
        } catch (...) {
            return E_FAIL;
        }
    }

private:
    ~CBrowserSite() = default;

    // The event's arguments, the last one first as the browser passes them.
    const VARIANT& Argument(const DISPPARAMS& parameters, UINT fromLast) const
    {
        return parameters.rgvarg[fromLast];
    }

    bool FromTopLevel(const VARIANT& source) const
    {
        const VARIANT& value = ValueOf(source);
        if (value.vt != VT_DISPATCH || value.pdispVal == nullptr) {
            return false;
        }
        const UniqueComPtr<IUnknown> identity = IdentityOf(value.pdispVal);
        return identity && identity.get() == topLevel_.get();
    }

    HRESULT OnEvent(DISPID id, DISPPARAMS* parameters)
    {
        if (parameters == nullptr || panel_ == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const DISPPARAMS& p = *parameters;
        WebPanelNotification record;
        switch (id) {
        case DISPID_BEFORENAVIGATE2:
            if (p.cArgs < 7 || !FromTopLevel(Argument(p, 6))) {
                return S_OK;
            }
            record.address = TextOf(Argument(p, 5));
            record.frameName = TextOf(Argument(p, 3));
            record.postData = BytesOf(Argument(p, 2));
            // A page that sends the panel on elsewhere (a redirect, a script)
            // is held to the rule of Navigate; the blank page is the panel's own.
            if ((!IsWebAddress(record.address) && record.address != "about:blank") ||
                Send(kWebBeforeNavigate, record) != 0) {
                const VARIANT& cancel = Argument(p, 0);
                if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal != nullptr) {
                    *cancel.pboolVal = VARIANT_TRUE;
                }
            }
            return S_OK;
        case DISPID_DOCUMENTCOMPLETE:
        case DISPID_NAVIGATECOMPLETE2:
            if (p.cArgs < 2 || !FromTopLevel(Argument(p, 1))) {
                return S_OK;
            }
            record.address = TextOf(Argument(p, 0));
            Send(id == DISPID_DOCUMENTCOMPLETE ? kWebDocumentComplete : kWebNavigateComplete,
                 record);
            return S_OK;
        case DISPID_DOWNLOADBEGIN:
            Send(kWebDownloadBegin, record);
            return S_OK;
        case DISPID_DOWNLOADCOMPLETE:
            Send(kWebDownloadComplete, record);
            return S_OK;
        case DISPID_PROGRESSCHANGE:
            if (p.cArgs >= 2) {
                record.progress = LongOf(Argument(p, 1));
                record.progressMax = LongOf(Argument(p, 0));
                Send(kWebProgressChange, record);
            }
            return S_OK;
        case DISPID_STATUSTEXTCHANGE:
        case DISPID_TITLECHANGE:
            if (p.cArgs >= 1) {
                record.text = TextOf(Argument(p, 0));
                Send(id == DISPID_STATUSTEXTCHANGE ? kWebStatusTextChange : kWebTitleChange,
                     record);
            }
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
    }

    LRESULT Send(UINT code, WebPanelNotification& record) const
    {
        HWND parent = GetParent(panel_);
        if (parent == nullptr) {
            return 0;
        }
        record.header.hwndFrom = panel_;
        record.header.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(panel_));
        record.header.code = code;
        return SendMessageW(parent, WM_NOTIFY, record.header.idFrom,
                            reinterpret_cast<LPARAM>(&record));
    }

    ULONG references_ = 1;
    HWND panel_;
    UniqueComPtr<IUnknown> topLevel_;
};

}  // namespace

// The browser embedded in the panel, with its site and event connection.
class CWebPanel::CHost {
public:
    explicit CHost(HWND panel)
        : oleInitialised_(SUCCEEDED(OleInitialize(nullptr))), site_(new CBrowserSite(panel))
    {
    }
    ~CHost()
    {
        Close();
        site_.get()->Disconnect();
        site_.reset();
        if (oleInitialised_) {
            OleUninitialize();
        }
    }
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    bool Create(HWND panel)
    {
        if (!HasHtmlEngine()) {
            return false;
        }
        RECT client{};
        GetClientRect(panel, &client);
        if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IOleObject, reinterpret_cast<void**>(object_.put()))) ||
            FAILED(object_.get()->SetClientSite(site_.get()))) {
            return false;
        }
        IOleObject* const object = object_.get();
        OleSetContainedObject(object, TRUE);
        if (FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, panel,
                                  &client)) ||
            FAILED(object->QueryInterface(IID_IWebBrowser2,
                                          reinterpret_cast<void**>(browser_.put()))) ||
            FAILED(
                object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch_.put())))) {
            return false;
        }
        site_.get()->SetTopLevel(dispatch_.get());
        if (HWND window = BrowserWindow()) {
            SetWindowLongPtrW(window, GWLP_ID, kBrowserId);
            SetWindowLongPtrW(window, GWL_STYLE,
                              GetWindowLongPtrW(window, GWL_STYLE) | WS_VISIBLE | WS_TABSTOP);
        }
        ConnectEvents();
        return true;
    }

    // True once the browser holds an HTML document for the blank page.
    bool ShowBlankPage()
    {
        if (!Navigate(L"about:blank")) {
            return false;
        }
        const DWORD begin = GetTickCount();
        for (;;) {
            UniqueComPtr<IDispatch> document;
            if (FAILED(browser_.get()->get_Document(document.put()))) {
                return false;
            }
            if (document) {
                UniqueComPtr<IHTMLDocument2> html;
                return SUCCEEDED(document.get()->QueryInterface(
                    IID_IHTMLDocument2, reinterpret_cast<void**>(html.put())));
            }
            if (GetTickCount() - begin >= kBlankPageWaitMs || !DispatchPendingMessages()) {
                return false;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }

    bool Navigate(const std::wstring& address)
    {
        if (!browser_) {
            return false;
        }
        BSTR url = SysAllocStringLen(address.data(), static_cast<UINT>(address.size()));
        VARIANT flags;
        VariantInit(&flags);
        flags.vt = VT_I4;
        flags.lVal = 0;
        VARIANT empty;
        VariantInit(&empty);
        const HRESULT result = browser_.get()->Navigate(url, &flags, &empty, &empty, &empty);
        SysFreeString(url);
        return SUCCEEDED(result);
    }

    void SetTheaterMode() { browser_.get()->put_TheaterMode(VARIANT_TRUE); }

    HWND BrowserWindow() const
    {
        HWND window = nullptr;
        if (const UniqueComPtr<IOleInPlaceObject> inPlace = InPlaceObject()) {
            inPlace.get()->GetWindow(&window);
        }
        return window;
    }

    void Fit(const RECT& client)
    {
        if (const UniqueComPtr<IOleInPlaceObject> inPlace = InPlaceObject()) {
            inPlace.get()->SetObjectRects(&client, &client);
        }
    }

    bool HasBrowser() const { return static_cast<bool>(browser_); }

private:
    // Without the HTML engine the browser control can be created but never
    // shows a page; asking for the engine's document class tells at once.
    static bool HasHtmlEngine()
    {
        UniqueComPtr<IClassFactory> factory;
        return SUCCEEDED(CoGetClassObject(kHtmlDocumentClass, CLSCTX_INPROC_SERVER, nullptr,
                                          IID_IClassFactory,
                                          reinterpret_cast<void**>(factory.put())));
    }

    UniqueComPtr<IOleInPlaceObject> InPlaceObject() const
    {
        UniqueComPtr<IOleInPlaceObject> inPlace;
        if (object_) {
            object_.get()->QueryInterface(IID_IOleInPlaceObject,
                                          reinterpret_cast<void**>(inPlace.put()));
        }
        return inPlace;
    }

    void ConnectEvents()
    {
        UniqueComPtr<IConnectionPointContainer> container;
        if (FAILED(object_.get()->QueryInterface(IID_IConnectionPointContainer,
                                                 reinterpret_cast<void**>(container.put())))) {
            return;
        }
        if (SUCCEEDED(container.get()->FindConnectionPoint(DIID_DWebBrowserEvents2,
                                                           events_.put())) &&
            FAILED(events_.get()->Advise(static_cast<IDispatch*>(site_.get()), &cookie_))) {
            events_.reset();
        }
    }

    void Close()
    {
        if (events_) {
            events_.get()->Unadvise(cookie_);
            events_.reset();
        }
        browser_.reset();
        dispatch_.reset();
        if (object_) {
            object_.get()->Close(OLECLOSE_NOSAVE);
            object_.get()->SetClientSite(nullptr);
            object_.reset();
        }
    }

    bool oleInitialised_;
    UniqueComPtr<CBrowserSite> site_;
    UniqueComPtr<IOleObject> object_;
    UniqueComPtr<IWebBrowser2> browser_;
    UniqueComPtr<IDispatch> dispatch_;
    UniqueComPtr<IConnectionPoint> events_;
    DWORD cookie_ = 0;
};

CWebPanel::CWebPanel() = default;

CWebPanel::~CWebPanel()
{
    Release();
    if (Hwnd() != nullptr) {
        DestroyWindow(Hwnd());
    }
}

LRESULT CWebPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        FitBrowser();
        return result;
    }
    case WM_DESTROY:
        // The browser closes while its window still stands in the panel.
        Release();
        return DefaultProc(message, wParam, lParam);
    default:
        return CWindow::HandleMessage(message, wParam, lParam);
    }
}

bool CWebPanel::CreateInPlaceOf(HWND parent, int placeholderId)
{
    HWND placeholder = parent != nullptr ? GetDlgItem(parent, placeholderId) : nullptr;
    if (placeholder == nullptr || Hwnd() != nullptr) {
        return false;
    }
    RECT rect{};
    GetWindowRect(placeholder, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    DestroyWindow(placeholder);

    if (!RegisterOwnClass(kPanelClass, CS_HREDRAW | CS_VREDRAW, LoadCursorW(nullptr, IDC_ARROW),
                          nullptr) ||
        !CreateOwnWindow(kPanelClass, 0, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rect, parent,
                         placeholderId)) {
        return false;
    }
    host_ = std::make_unique<CHost>(Hwnd());
    if (!host_->Create(Hwnd()) || !host_->ShowBlankPage()) {
        Release();
        DestroyWindow(Hwnd());
        return false;
    }
    host_->SetTheaterMode();
    FitBrowser();
    return true;
}

bool IsWebAddress(const std::string& address)
{
    const auto startsWith = [&address](const char* scheme) {
        const std::size_t length = std::strlen(scheme);
        return address.size() > length && _strnicmp(address.c_str(), scheme, length) == 0;
    };
    std::size_t server = 0;
    if (startsWith("http://")) {
        server = 7;
    } else if (startsWith("https://")) {
        server = 8;
    } else {
        return false;
    }
    const unsigned char first = static_cast<unsigned char>(address[server]);
    return first > ' ' && first != '/' && first != '\\';
}

void CWebPanel::Navigate(const std::string& address)
{
    if (host_ != nullptr && IsWebAddress(address)) {
        host_->Navigate(WidenText(address));
    }
}

bool CWebPanel::HasBrowser() const
{
    return host_ != nullptr && host_->HasBrowser();
}

HWND CWebPanel::BrowserHwnd() const
{
    return host_ != nullptr ? host_->BrowserWindow() : nullptr;
}

void CWebPanel::FitBrowser()
{
    if (host_ != nullptr && Hwnd() != nullptr) {
        host_->Fit(ClientRect());
    }
}

void CWebPanel::Release()
{
    host_.reset();
}
