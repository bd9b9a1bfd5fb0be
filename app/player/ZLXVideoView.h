// SPDX-License-Identifier: GPL-3.0-or-later
// The surface one player draws into: an ordinary widget inside the window, so it follows
// every resize, animation and neighbour like the rest of the window. libmpv renders into it
// through its render API, with OpenGL where the machine has hardware OpenGL and in software
// otherwise. Without a picture it shows its channel's logo, never an old frame.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>

struct mpv_handle;
struct mpv_render_context;

namespace daxo {

class ZLXVideoRenderer;

enum class ZLXVideoOutput { Software, OpenGL };

// The output every surface of this process uses: the one asked for (command line, setting)
// when there is one, else OpenGL when the platform's OpenGL is hardware accelerated.
ZLXVideoOutput chosenVideoOutput();
// Asks for an output before the first surface is made; later calls change nothing.
void requestVideoOutput(std::optional<ZLXVideoOutput> output);
// "gl" or "software", as the command line and the setting spell them.
std::optional<ZLXVideoOutput> videoOutputFromName(const QString& name);

// Whether the machine has a graphics device (a DRM node, or an NVIDIA device).
bool hasGraphicsDevice();
// Before the application object is made. On a machine without a graphics device, where only a
// software rasteriser could draw OpenGL, the window system's OpenGL is never loaded (some 60 MB
// that would stay in memory): the video is drawn in software and the map's page by Qt Quick's
// software renderer. Elsewhere, or when OpenGL is asked for, the web engine and the OpenGL
// video output share their textures with the window. True when OpenGL stays available.
// (Installs a message handler that drops the window system's one expected warning.)
bool prepareGraphics(bool openGLAsked);

class ZLXVideoView : public QWidget {
    Q_OBJECT
public:
    explicit ZLXVideoView(QWidget* parent = nullptr);
    ~ZLXVideoView() override;

    // The logo shown, on the view's dark background, while there is no picture.
    void setLogo(const QPixmap& logo);

    // Creates the render context on the player's core (before any file is loaded); false when
    // libmpv refuses it. detach() frees it; it is freed at the latest with the view.
    bool attach(mpv_handle* mpv);
    void detach();
    // Forgets the picture: the logo shows until the next frame is drawn.
    void clearPicture();
    // Frames are shown only while the player says they belong to the file it holds.
    void setShowsFrames(bool shows);
    // While held, new frames are drawn but the picture on screen stays; letting go shows the
    // newest. Two views let go together change their pictures in the same paint.
    void setPictureHeld(bool held);
    bool hasPicture() const { return m_hasPicture; }
    // The picture on screen, at the view's size in device pixels; null without a picture.
    QImage currentFrame() const;
    ZLXVideoOutput output() const { return m_output; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static void onRenderUpdate(void* self);
    void renderNow();
    void showDrawnPicture();
    QSize targetSize() const;

    ZLXVideoOutput m_output;
    std::unique_ptr<ZLXVideoRenderer> m_renderer;
    QWidget* m_glLayer = nullptr; // the OpenGL output's drawing child
    QPixmap m_logo;
    bool m_hasPicture = false;
    bool m_pictureHeld = false;
    bool m_showsFrames = false;
    bool m_unshown = false; // a frame was drawn while the picture was held
    std::atomic<bool> m_updateQueued{false};
};

} // namespace daxo
