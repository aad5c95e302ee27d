/* The frame-rate yardstick for the sprite example (examples/sprites): the same
   640x480 window, the same 32x32 soft-edged disc (the same texture pixels),
   the same number of sprites with the same start places and velocities
   (srand(1) and the same rand() calls), the same bounce, the same clear
   colour and alpha blending, drawn with SFML the way an SFML program draws
   sprites: one sf::Sprite per sprite, one draw call each, vsync off and no
   frame-rate limit. With --batch all sprites go into one sf::VertexArray
   drawn with a single call instead: the ceiling the GL allows for this
   scene, reported for reference.

   Usage: sfml_sprites [--sprites N] [--seconds S] [--frames F] [--batch]
   It runs until Escape, a window close, SIGTERM/SIGINT, or the optional time
   or frame limit, then prints one line:
     SFML_SPRITES sprites=N batch=0|1 frames=F seconds=S fps=X */
#include <SFML/Graphics.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kWindowW = 640, kWindowH = 480, kSpriteSize = 32, kMaxSprites = 10000;

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

struct Mover {
    int x, y, dx, dy;
};

// The example's disc, written as RGBA bytes: alpha falls off over the last
// four pixels of the radius; the colour follows the position.
sf::Image MakeSpriteImage()
{
    std::vector<sf::Uint8> rgba(kSpriteSize * kSpriteSize * 4);
    for (int y = 0; y < kSpriteSize; ++y)
        for (int x = 0; x < kSpriteSize; ++x) {
            const int dx = 2 * x - (kSpriteSize - 1), dy = 2 * y - (kSpriteSize - 1);
            const int d2 = dx * dx + dy * dy;
            const int outer = kSpriteSize * kSpriteSize,
                      inner = (kSpriteSize - 8) * (kSpriteSize - 8);
            const int a = d2 < inner ? 255 : d2 < outer ? 255 * (outer - d2) / (outer - inner) : 0;
            sf::Uint8 *p = &rgba[(y * kSpriteSize + x) * 4];
            p[0] = static_cast<sf::Uint8>(255 - x * 6);
            p[1] = static_cast<sf::Uint8>(y * 6);
            p[2] = 0xC0;
            p[3] = static_cast<sf::Uint8>(a);
        }
    sf::Image image;
    image.create(kSpriteSize, kSpriteSize, rgba.data());
    return image;
}

}  // namespace

int main(int argc, char **argv)
{
    int count = 300;
    double seconds = 0;
    long max_frames = 0;
    bool batch = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sprites") == 0 && i + 1 < argc) {
            count = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            max_frames = std::atol(argv[++i]);
        } else if (std::strcmp(argv[i], "--batch") == 0) {
            batch = true;
        } else {
            std::fprintf(stderr, "Usage: %s [--sprites N] [--seconds S] [--frames F] [--batch]\n",
                         argv[0]);
            return 1;
        }
    }
    if (count < 1 || count > kMaxSprites) {
        std::fprintf(stderr, "--sprites must be between 1 and %d\n", kMaxSprites);
        return 1;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    sf::RenderWindow window(sf::VideoMode(kWindowW, kWindowH), "SFML sprites",
                            sf::Style::Titlebar | sf::Style::Close);
    if (!window.isOpen()) {
        std::fprintf(stderr, "sfml_sprites: cannot open a window\n");
        return 2;
    }
    window.setVerticalSyncEnabled(false);
    window.setFramerateLimit(0);

    sf::Texture texture;
    if (!texture.loadFromImage(MakeSpriteImage())) {
        std::fprintf(stderr, "sfml_sprites: cannot create the texture\n");
        return 2;
    }
    texture.setSmooth(false);  // the example's renderer copies with nearest-pixel sampling

    // The example's start: the same rand() calls in the same order.
    std::srand(1);
    std::vector<Mover> movers(count);
    std::vector<sf::Sprite> sprites(count, sf::Sprite(texture));
    sf::VertexArray quads(sf::Quads, batch ? count * 4 : 0);
    for (std::size_t i = 0; i < quads.getVertexCount(); ++i) {
        // Corners in the order the quad is drawn; the texture spans the whole image.
        const float u = (i % 4 == 1 || i % 4 == 2) ? kSpriteSize : 0;
        const float v = (i % 4 >= 2) ? kSpriteSize : 0;
        quads[i].texCoords = sf::Vector2f(u, v);
    }
    for (Mover &m : movers) {
        m.x = std::rand() % (kWindowW - kSpriteSize);
        m.y = std::rand() % (kWindowH - kSpriteSize);
        do {
            m.dx = std::rand() % 5 - 2;
            m.dy = std::rand() % 5 - 2;
        } while (m.dx == 0 && m.dy == 0);
    }

    const sf::Color background(0x20, 0x20, 0x30);
    long frames = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    bool done = false;
    while (!done && !g_stop) {
        sf::Event event;
        while (window.pollEvent(event))
            if (event.type == sf::Event::Closed ||
                (event.type == sf::Event::KeyPressed && event.key.code == sf::Keyboard::Escape))
                done = true;
        const sf::Vector2u size = window.getSize();
        const int view_w = static_cast<int>(size.x), view_h = static_cast<int>(size.y);
        for (int i = 0; i < count; ++i) {
            Mover &m = movers[i];
            m.x += m.dx;
            m.y += m.dy;
            if (m.x < 0 || m.x + kSpriteSize > view_w) {
                m.dx = -m.dx;
                m.x += 2 * m.dx;
            }
            if (m.y < 0 || m.y + kSpriteSize > view_h) {
                m.dy = -m.dy;
                m.y += 2 * m.dy;
            }
            const auto x = static_cast<float>(m.x), y = static_cast<float>(m.y);
            if (batch)
                for (int c = 0; c < 4; ++c)
                    quads[i * 4 + c].position = quads[i * 4 + c].texCoords + sf::Vector2f(x, y);
            else
                sprites[i].setPosition(x, y);
        }
        window.clear(background);
        // sf::BlendAlpha is the default blend state.
        if (batch)
            window.draw(quads, &texture);
        else
            for (const sf::Sprite &s : sprites)
                window.draw(s);
        window.display();
        ++frames;
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if ((max_frames > 0 && frames >= max_frames) || (seconds > 0 && elapsed >= seconds))
            done = true;
    }
    std::printf("SFML_SPRITES sprites=%d batch=%d frames=%ld seconds=%.3f fps=%.2f\n", count,
                batch ? 1 : 0, frames, elapsed, elapsed > 0 ? frames / elapsed : 0.0);
    return 0;
}
