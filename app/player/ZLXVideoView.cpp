// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/player/ZLXVideoView.h"

#include "widgets/TKPartImages.h"
#include "library/ZLXLog.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QDir>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLTextureBlitter>
#include <QOpenGLWidget>
#include <QPainter>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <cstdlib>
#include <mpv/render.h>
#include <mpv/render_gl.h>

namespace daxo {

// Where libmpv draws: a software image or an OpenGL framebuffer, both of the view's size.
class ZLXVideoRenderer {
public:
    virtual ~ZLXVideoRenderer() = default;
    virtual bool create(mpv_handle* mpv) = 0;
    // Draws the current frame at `size` device pixels.
    virtual bool render(QSize size) = 0;
    // What was drawn last becomes what is shown.
    virtual void present() = 0;
    // The picture shown.
    virtual QImage image() const = 0;
    // Frees the render context (with its OpenGL context current where there is one).
    virtual void destroy() = 0;
    mpv_render_context* context = nullptr;
};

namespace {

std::optional<ZLXVideoOutput> g_requestedOutput;

bool hardwareOpenGL() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    // Without a graphics device there is only a software rasteriser: it is not loaded (tens of
    // megabytes that would stay in memory) just to be told so.
    if (!hasGraphicsDevice())
        return false;
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface))
        return false;
    const auto* renderer = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    const QString name = QString::fromLatin1(renderer ? renderer : "");
    context.doneCurrent();
    // Software rasterisers draw mpv's OpenGL output far slower than its software renderer.
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"}) {
        if (name.contains(QLatin1String(software), Qt::CaseInsensitive))
            return false;
    }
    return !name.isEmpty();
}

class SoftwareRenderer final : public ZLXVideoRenderer {
public:
    ~SoftwareRenderer() override { destroy(); }

    bool create(mpv_handle* mpv) override {
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        return mpv_render_context_create(&context, mpv, params) >= 0;
    }

    bool render(QSize size) override {
        if (!context)
            return false;
        if (size != m_image.size()) {
            // Rows aligned to 64 bytes, as libmpv's scaler prefers.
            m_stride = (size_t(size.width()) * 4 + 63) / 64 * 64;
            m_pixels.reset(static_cast<uchar*>(std::aligned_alloc(64, m_stride * size_t(size.height()))));
            if (!m_pixels)
                return false;
            m_image = QImage(m_pixels.get(), size.width(), size.height(), qsizetype(m_stride),
                             QImage::Format_RGBX8888);
        }
        int dimensions[2] = {size.width(), size.height()};
        char format[] = "rgb0";
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_SW_SIZE, dimensions},
            {MPV_RENDER_PARAM_SW_FORMAT, format},
            {MPV_RENDER_PARAM_SW_STRIDE, &m_stride},
            {MPV_RENDER_PARAM_SW_POINTER, m_pixels.get()},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        return mpv_render_context_render(context, params) >= 0;
    }

    void present() override { m_shown = m_image.copy(); }
    QImage image() const override { return m_shown; }

    void destroy() override {
        if (context)
            mpv_render_context_free(context);
        context = nullptr;
    }

private:
    struct Free {
        void operator()(uchar* p) const { std::free(p); }
    };
    std::unique_ptr<uchar, Free> m_pixels;
    size_t m_stride = 0;
    QImage m_image; // over m_pixels, where libmpv draws
    QImage m_shown;
};

// libmpv draws into a framebuffer of a private context that shares its textures with the
// window's; the view's drawing child puts that texture on the screen.
class OpenGLRenderer final : public ZLXVideoRenderer {
public:
    ~OpenGLRenderer() override { destroy(); }

    bool create(mpv_handle* mpv) override {
        m_context.setShareContext(QOpenGLContext::globalShareContext());
        if (!m_context.create())
            return false;
        m_surface.setFormat(m_context.format());
        m_surface.create();
        if (!m_context.makeCurrent(&m_surface))
            return false;
        mpv_opengl_init_params gl{
            [](void*, const char* name) -> void* {
                QOpenGLContext* current = QOpenGLContext::currentContext();
                return current ? reinterpret_cast<void*>(current->getProcAddress(name)) : nullptr;
            },
            nullptr};
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_OPENGL)},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        const bool created = mpv_render_context_create(&context, mpv, params) >= 0;
        m_context.doneCurrent();
        return created;
    }

    bool render(QSize size) override {
        if (!context || !m_context.makeCurrent(&m_surface))
            return false;
        if (!m_fbo || m_fbo->size() != size)
            m_fbo = std::make_unique<QOpenGLFramebufferObject>(size);
        mpv_opengl_fbo target{int(m_fbo->handle()), size.width(), size.height(), 0};
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_OPENGL_FBO, &target},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        const bool drawn = mpv_render_context_render(context, params) >= 0;
        m_context.functions()->glFlush();
        m_context.doneCurrent();
        return drawn;
    }

    void present() override {
        if (!m_fbo || !m_context.makeCurrent(&m_surface))
            return;
        if (!m_shown || m_shown->size() != m_fbo->size())
            m_shown = std::make_unique<QOpenGLFramebufferObject>(m_fbo->size());
        QOpenGLFramebufferObject::blitFramebuffer(m_shown.get(), m_fbo.get());
        m_context.functions()->glFlush();
        m_context.doneCurrent();
    }

    QImage image() const override {
        auto& self = const_cast<OpenGLRenderer&>(*this);
        if (!m_shown || !self.m_context.makeCurrent(&self.m_surface))
            return {};
        // libmpv writes the picture's top row first.
        QImage picture = m_shown->toImage(false);
        self.m_context.doneCurrent();
        return picture;
    }

    GLuint texture() const { return m_shown ? m_shown->texture() : 0; }

    void destroy() override {
        if (!context && !m_fbo)
            return;
        m_context.makeCurrent(&m_surface);
        if (context)
            mpv_render_context_free(context);
        context = nullptr;
        m_fbo.reset();
        m_shown.reset();
        m_context.doneCurrent();
    }

private:
    QOpenGLContext m_context;
    QOffscreenSurface m_surface;
    std::unique_ptr<QOpenGLFramebufferObject> m_fbo;   // where libmpv draws
    std::unique_ptr<QOpenGLFramebufferObject> m_shown; // what the window shows
};

class OpenGLLayer final : public QOpenGLWidget {
public:
    OpenGLLayer(const OpenGLRenderer* renderer, QWidget* parent) : QOpenGLWidget(parent), m_renderer(renderer) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    ~OpenGLLayer() override {
        makeCurrent();
        m_blitter.destroy();
        doneCurrent();
    }

protected:
    void initializeGL() override { m_blitter.create(); }
    void paintGL() override {
        QOpenGLFunctions* gl = context()->functions();
        gl->glClearColor(0, 0, 0, 1);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        const GLuint texture = m_renderer->texture();
        if (!texture || !m_blitter.isCreated())
            return;
        m_blitter.bind();
        const QRect all(QPoint(0, 0), size() * devicePixelRatioF());
        m_blitter.blit(texture, QOpenGLTextureBlitter::targetTransform(all, all),
                       QOpenGLTextureBlitter::OriginTopLeft);
        m_blitter.release();
    }

private:
    const OpenGLRenderer* m_renderer;
    QOpenGLTextureBlitter m_blitter;
};

} // namespace

ZLXVideoOutput chosenVideoOutput() {
    static const ZLXVideoOutput output = [] {
        if (g_requestedOutput)
            return *g_requestedOutput;
        return hardwareOpenGL() ? ZLXVideoOutput::OpenGL : ZLXVideoOutput::Software;
    }();
    return output;
}

void requestVideoOutput(std::optional<ZLXVideoOutput> output) {
    g_requestedOutput = output;
}

bool hasGraphicsDevice() {
    for (const QString& pattern : {QStringLiteral("/dev/dri/renderD*"), QStringLiteral("/dev/dri/card*"), QStringLiteral("/dev/nvidia*")}) {
        const QFileInfo at(pattern);
        if (!QDir(at.path(), at.fileName(), QDir::NoSort, QDir::System | QDir::Files).entryList().isEmpty())
            return true;
    }
    return false;
}

bool prepareGraphics(bool openGLAsked) {
    if (openGLAsked || hasGraphicsDevice() || qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION") ||
        qEnvironmentVariableIsSet("QT_QUICK_BACKEND")) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        return true;
    }
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    qputenv("QT_QUICK_BACKEND", "software");
    requestVideoOutput(ZLXVideoOutput::Software);
    // The web engine asks for a shared OpenGL context as the application starts; the window
    // system's one warning that it has none to give is expected here and not passed on.
    static QtMessageHandler next = nullptr;
    next = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtWarningMsg && message.startsWith(QLatin1String("QXcbIntegration: Cannot create platform OpenGL context")))
            return;
        if (next)
            next(type, context, message);
    });
    return false;
}

std::optional<ZLXVideoOutput> videoOutputFromName(const QString& name) {
    if (name == QLatin1String("gl"))
        return ZLXVideoOutput::OpenGL;
    if (name == QLatin1String("software"))
        return ZLXVideoOutput::Software;
    return std::nullopt;
}

ZLXVideoView::ZLXVideoView(QWidget* parent) : QWidget(parent), m_output(chosenVideoOutput()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

ZLXVideoView::~ZLXVideoView() {
    detach();
}

void ZLXVideoView::setLogo(const QPixmap& logo) {
    m_logo = logo;
    update();
}

bool ZLXVideoView::attach(mpv_handle* mpv) {
    detach();
    if (m_output == ZLXVideoOutput::OpenGL) {
        auto renderer = std::make_unique<OpenGLRenderer>();
        if (renderer->create(mpv)) {
            auto* layer = new OpenGLLayer(renderer.get(), this);
            auto* layout = new QVBoxLayout(this);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->addWidget(layer);
            layer->hide();
            m_glLayer = layer;
            m_renderer = std::move(renderer);
        } else {
            ZLXLog("OpenGL video output unavailable, drawing in software");
            m_output = ZLXVideoOutput::Software;
        }
    }
    if (!m_renderer) {
        auto renderer = std::make_unique<SoftwareRenderer>();
        if (!renderer->create(mpv))
            return false;
        m_renderer = std::move(renderer);
    }
    mpv_render_context_set_update_callback(m_renderer->context, &ZLXVideoView::onRenderUpdate, this);
    return true;
}

void ZLXVideoView::detach() {
    if (!m_renderer)
        return;
    // After this no update callback runs; queued ones find no renderer.
    m_renderer->destroy();
    m_renderer.reset();
    delete m_glLayer;
    m_glLayer = nullptr;
    delete layout();
    clearPicture();
}

// Runs on a libmpv thread: only asks the interface thread to draw, at most once at a time.
void ZLXVideoView::onRenderUpdate(void* self) {
    auto* view = static_cast<ZLXVideoView*>(self);
    if (view->m_updateQueued.exchange(true))
        return;
    QMetaObject::invokeMethod(
        view,
        [view] {
            view->m_updateQueued = false;
            view->renderNow();
        },
        Qt::QueuedConnection);
}

QSize ZLXVideoView::targetSize() const {
    const QSize pixels = size() * devicePixelRatioF();
    return pixels.expandedTo(QSize(2, 2));
}

void ZLXVideoView::renderNow() {
    if (!m_renderer || !m_renderer->context)
        return;
    if (!(mpv_render_context_update(m_renderer->context) & MPV_RENDER_UPDATE_FRAME) || !m_showsFrames)
        return;
    if (!m_renderer->render(targetSize()))
        return;
    m_unshown = true;
    if (!m_pictureHeld)
        showDrawnPicture();
}

void ZLXVideoView::showDrawnPicture() {
    m_unshown = false;
    m_renderer->present();
    m_hasPicture = true;
    if (m_glLayer) {
        m_glLayer->show();
        m_glLayer->update();
    } else {
        update();
    }
}

void ZLXVideoView::setShowsFrames(bool shows) {
    if (shows == m_showsFrames)
        return;
    m_showsFrames = shows;
    if (!shows) {
        clearPicture();
    } else if (m_renderer && m_renderer->render(targetSize())) {
        m_unshown = true;
        if (!m_pictureHeld)
            showDrawnPicture();
    }
}

void ZLXVideoView::setPictureHeld(bool held) {
    m_pictureHeld = held;
    if (!held && m_unshown && m_renderer)
        showDrawnPicture();
}

void ZLXVideoView::clearPicture() {
    m_hasPicture = false;
    m_unshown = false;
    if (m_glLayer)
        m_glLayer->hide();
    update();
}

QImage ZLXVideoView::currentFrame() const {
    if (!m_hasPicture || !m_renderer)
        return {};
    return m_renderer->image().copy();
}

void ZLXVideoView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The frame shown is drawn again at the new size at once, playing or not.
    if (m_hasPicture && !m_pictureHeld && m_renderer && m_renderer->render(targetSize()))
        showDrawnPicture();
}

void ZLXVideoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_hasPicture && !m_glLayer) {
        QImage picture = m_renderer->image();
        picture.setDevicePixelRatio(devicePixelRatioF());
        painter.fillRect(rect(), Qt::black); // the picture may be a resize behind
        painter.drawImage(QPoint(0, 0), picture);
        return;
    }
    painter.fillRect(rect(), QColor(24, 26, 30));
    if (!m_logo.isNull()) {
        const QSize logo = m_logo.deviceIndependentSize().toSize();
        painter.drawPixmap(QRect(QPoint((width() - logo.width()) / 2, (height() - logo.height()) / 2), logo), m_logo);
    }
}

} // namespace daxo
