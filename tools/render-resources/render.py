#!/usr/bin/python3
"""Renders the launcher's two raster pictures: a dark gold-and-violet landscape behind the
main window (background.jpg) and the 64x64 server entry icon (server-icon.png).

Deterministic: a fixed seed drives every random choice, so re-running it gives the same
pictures. Needs only Pillow (Debian: python3-pil).

    tools/render-resources/render.py [output-dir]      (default: resources/)
"""

import random
import sys
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw, ImageFilter

WIDTH, HEIGHT = 1920, 1200
SEED = 1021


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def vertical_gradient(size, stops):
    """stops: [(position 0..1, (r, g, b)), ...] sorted by position."""
    width, height = size
    column = Image.new("RGB", (1, height))
    pixels = column.load()
    for y in range(height):
        t = y / max(1, height - 1)
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if p0 <= t <= p1:
                pixels[0, y] = lerp(c0, c1, (t - p0) / max(1e-9, p1 - p0))
                break
    return column.resize((width, height), Image.Resampling.NEAREST)


def glow(size, centre, radii, colour, strength, blur):
    """A soft coloured light: an ellipse mask blurred, screened over the picture."""
    mask = Image.new("L", size, 0)
    cx, cy = centre
    rx, ry = radii
    ImageDraw.Draw(mask).ellipse((cx - rx, cy - ry, cx + rx, cy + ry), fill=strength)
    mask = mask.filter(ImageFilter.GaussianBlur(blur))
    return Image.composite(Image.new("RGB", size, colour), Image.new("RGB", size, 0), mask)


def ridge(rng, width, base, roughness, amplitude, steps=9):
    """A mountain skyline by midpoint displacement: heights for x = 0..width."""
    points = [base + rng.uniform(-amplitude, amplitude), base + rng.uniform(-amplitude, amplitude)]
    spread = amplitude
    for _ in range(steps):
        refined = []
        for a, b in zip(points, points[1:]):
            refined += [a, (a + b) / 2 + rng.uniform(-spread, spread)]
        refined.append(points[-1])
        points = refined
        spread *= roughness
    count = len(points) - 1
    return [(width * i / count, y) for i, y in enumerate(points)]


def draw_layer(image, outline, colour, bottom):
    ImageDraw.Draw(image).polygon(outline + [(image.width, bottom), (0, bottom)], fill=colour)


def landscape():
    rng = random.Random(SEED)
    size = (WIDTH, HEIGHT)
    horizon = int(HEIGHT * 0.64)

    sky = vertical_gradient(size, [
        (0.00, (14, 9, 36)),
        (0.30, (46, 24, 96)),
        (0.52, (108, 52, 140)),
        (0.64, (214, 146, 64)),
        (1.00, (214, 146, 64)),
    ])
    picture = sky

    stars = ImageDraw.Draw(picture)
    for _ in range(420):
        x, y = rng.uniform(0, WIDTH), rng.uniform(0, horizon * 0.62) ** 1.0
        light = rng.randint(120, 255)
        r = rng.choice((0.6, 0.8, 1.0, 1.4))
        tint = rng.choice(((light, light, light), (light, int(light * 0.85), int(light * 0.5)),
                           (int(light * 0.8), int(light * 0.75), light)))
        stars.ellipse((x - r, y - r, x + r, y + r), fill=tint)

    sun = (int(WIDTH * 0.6), int(horizon - HEIGHT * 0.13))
    picture = ImageChops.screen(picture, glow(size, sun, (620, 300), (201, 140, 39), 150, 170))
    picture = ImageChops.screen(picture, glow(size, (int(WIDTH * 0.22), int(HEIGHT * 0.22)),
                                              (520, 260), (90, 60, 200), 110, 190))
    ImageDraw.Draw(picture).ellipse((sun[0] - 74, sun[1] - 74, sun[0] + 74, sun[1] + 74),
                                    fill=(246, 212, 120))
    picture = ImageChops.screen(picture, glow(size, sun, (120, 120), (230, 180, 80), 200, 40))

    # Far to near: hazy violet ranges fading into the dark.
    layers = [
        (horizon - 150, 0.58, 120, (112, 70, 156)),
        (horizon - 80, 0.55, 100, (74, 44, 118)),
        (horizon - 20, 0.52, 70, (44, 26, 78)),
    ]
    for base, roughness, amplitude, colour in layers:
        draw_layer(picture, ridge(rng, WIDTH, base, roughness, amplitude), colour, horizon + 40)

    # The lake below the ranges mirrors the sky's glow, streaked with gold under the sun.
    lake_top = horizon + 20
    water = vertical_gradient((WIDTH, HEIGHT - lake_top), [
        (0.00, (170, 110, 56)),
        (0.35, (64, 34, 96)),
        (1.00, (16, 11, 30)),
    ])
    picture.paste(water, (0, lake_top))
    streaks = ImageDraw.Draw(picture)
    for i in range(70):
        y = lake_top + 4 + (i ** 1.35) * 2.2
        if y > HEIGHT * 0.92:
            break
        half = rng.uniform(30, 200) * (1 - (y - lake_top) / HEIGHT)
        x = sun[0] + rng.gauss(0, 40)
        fade = max(0.0, 1 - (y - lake_top) / (HEIGHT * 0.3))
        streaks.line((x - half, y, x + half, y), width=2,
                     fill=lerp((60, 36, 70), (236, 190, 96), fade))

    # Dark shores framing the water, sloping down to it.
    def shore_outline(start, end, top, drop):
        outline = ridge(rng, WIDTH, top, 0.5, 40, 8)
        span = end - start
        shaped = []
        for x, y in outline:
            t = x / WIDTH
            shaped.append((start + span * t, y + drop * t * t))
        return shaped

    shores = ImageDraw.Draw(picture)
    left = shore_outline(0, WIDTH * 0.42, horizon + 40, 260)
    shores.polygon(left + [(WIDTH * 0.42, HEIGHT), (0, HEIGHT)], fill=(16, 11, 26))
    right = shore_outline(WIDTH, WIDTH * 0.76, horizon - 10, 300)
    shores.polygon(right + [(WIDTH * 0.76, HEIGHT), (WIDTH, HEIGHT)], fill=(14, 10, 24))
    shore = ridge(rng, WIDTH, HEIGHT * 0.9, 0.5, 30, 8)
    draw_layer(picture, shore, (11, 8, 18), HEIGHT)

    return picture.filter(ImageFilter.GaussianBlur(1.2))


def server_icon():
    scale = 4
    side = 64 * scale
    icon = Image.new("RGBA", (side, side), (0, 0, 0, 0))
    inside = vertical_gradient((side, side), [
        (0.0, (30, 18, 60)), (0.55, (70, 40, 110)), (0.56, (20, 14, 36)), (1.0, (12, 10, 22)),
    ])
    mask = Image.new("L", (side, side), 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, side - 1, side - 1), radius=14 * scale,
                                           fill=255)
    icon.paste(inside, (0, 0), mask)

    draw = ImageDraw.Draw(icon)
    s = scale
    draw.ellipse((38 * s, 12 * s, 50 * s, 24 * s), fill=(240, 200, 100, 255))
    draw.polygon([(4 * s, 36 * s), (20 * s, 16 * s), (30 * s, 28 * s), (40 * s, 20 * s),
                  (60 * s, 36 * s)], fill=(201, 162, 39, 255))
    draw.polygon([(4 * s, 36 * s), (20 * s, 16 * s), (24 * s, 21 * s), (14 * s, 36 * s)],
                 fill=(150, 112, 24, 255))
    for i, y in enumerate((43, 50, 57)):
        width = 3 * s
        colour = (124, 92, 255, 255) if i != 1 else (201, 162, 39, 255)
        draw.line([(10 * s, y * s), (22 * s, (y - 3) * s), (34 * s, y * s), (46 * s, (y - 3) * s),
                   (56 * s, y * s)], fill=colour, width=width, joint="curve")
    icon = Image.composite(icon, Image.new("RGBA", icon.size, (0, 0, 0, 0)), mask)
    return icon.resize((64, 64), Image.Resampling.LANCZOS)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "resources"
    out.mkdir(parents=True, exist_ok=True)
    landscape().save(out / "background.jpg", quality=88, optimize=True, progressive=False)
    server_icon().save(out / "server-icon.png", optimize=True)
    print(f"wrote {out / 'background.jpg'} and {out / 'server-icon.png'}")


if __name__ == "__main__":
    main()
