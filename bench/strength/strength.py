#!/usr/bin/python3
"""How well the challenge resists machine reading, measured from this repository.

Makes labelled samples through the command-line tool (the component's default
look) and through a page host started here (the host's default look), then:
  - stock Tesseract on the pictures (single text line, the challenge alphabet
    as its whitelist: what an attacker who knows the alphabet would give it);
  - a small convolutional recogniser (PyTorch, CTC over the picture's
    columns) trained on labelled pictures of the component's default look
    and tested on fresh ones of both looks (the host draws the same look);
  - pocketsphinx on the host's audio, with a grammar of exactly what the audio
    says ("capital X", "small x", digits): the strongest stock set-up.
Prints exact and per-character accuracy (1 - edit distance / length) with a
95 % interval, and writes them as JSON and as a Markdown table.

Runs on the CPU only. Needs tesseract-ocr, python3-torch, python3-pil,
pocketsphinx-en-us and python3-pocketsphinx (scripts/install-deps --strength).
"""
import argparse
import contextlib
import concurrent.futures
import html
import json
import math
import os
import re
import secrets
import signal
import socket
import subprocess
import sys
import time
import urllib.request

# The trainer's two OpenMP threads wait for each other at every layer; on a
# shared machine spinning there would burn the other builds' CPU for nothing.
os.environ.setdefault("OMP_WAIT_POLICY", "PASSIVE")

ALPHABET = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz123456789"
CLI_LENGTHS = (4, 6)  # the tool's default random length
# What the network sees: the 200x70 picture in grey scaled to 96x32 (width,
# height), a glyph about 16 pixels wide, enough to tell "c" from "C" by size.
PICTURE_SIZE = (96, 32)
# Columns of the network's output: one per 4 pixels, 24 for at most 6
# characters, well above the 2 * 6 - 1 CTC needs when letters repeat.
COLUMN_PIXELS = 4
DIGIT_WORDS = {"one": "1", "two": "2", "three": "3", "four": "4", "five": "5", "six": "6",
               "seven": "7", "eight": "8", "nine": "9"}
SPHINX_MODEL = "/usr/share/pocketsphinx/model/en-us"


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


def random_text(lengths):
    length = lengths[0] + secrets.randbelow(lengths[1] - lengths[0] + 1)
    return "".join(secrets.choice(ALPHABET) for _ in range(length))


def edit_distance(a, b):
    row = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        previous, row[0] = row[0], i
        for j, cb in enumerate(b, 1):
            previous, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, previous + (ca != cb))
    return row[len(b)]


def score(truths, guesses):
    """Exact share and mean per-character accuracy, each with its 95 % half-interval."""
    n = len(truths)
    exact = sum(t == g for t, g in zip(truths, guesses)) / n
    per_char = [max(0.0, 1 - edit_distance(t, g) / len(t)) for t, g in zip(truths, guesses)]
    mean = sum(per_char) / n
    spread = math.sqrt(sum((x - mean) ** 2 for x in per_char) / max(1, n - 1))
    return {"n": n, "exact": exact, "exact_pm": 1.96 * math.sqrt(exact * (1 - exact) / n),
            "per_char": mean, "per_char_pm": 1.96 * spread / math.sqrt(n)}


# ---------------------------------------------------------------- samples

def cli_samples(glimmark, folder, count, jobs):
    """`count` pictures of the component's default look, each by one `glimmark image` call.
    Kept with their labels (labels.json): a later run with the same folder reuses them."""
    os.makedirs(folder, exist_ok=True)
    manifest = os.path.join(folder, "labels.json")
    if os.path.exists(manifest):
        with open(manifest) as f:
            kept = [tuple(sample) for sample in json.load(f)]
        if len(kept) >= count:
            log(f"  reusing {count} labelled pictures of {folder}")
            return kept[:count]
    def make(i):
        text = random_text(CLI_LENGTHS)
        path = os.path.join(folder, f"{i:05d}.jpg")
        out = subprocess.run([glimmark, "image", "--json", "--text", text, "--out", path],
                             check=True, capture_output=True, text=True).stdout
        assert json.loads(out)["text"] == text
        return path, text
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        samples = list(pool.map(make, range(count)))
    with open(manifest, "w") as f:
        json.dump(samples, f)
    return samples


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Host:
    """`glimmark serve` on a free loopback port, with a registry and key of its own."""

    def __init__(self, glimmark, folder):
        os.makedirs(folder, exist_ok=True)
        self.glimmark = glimmark
        self.env = dict(os.environ, GLIMMARK_REGISTRY=os.path.join(folder, "registry.db"))
        self.key = os.path.join(folder, "host.key")
        with open(self.key, "wb") as f:
            f.write(secrets.token_bytes(32))
        self.password = secrets.token_hex(8)
        subprocess.run([glimmark, "register", "--user"], env=self.env, check=True,
                       capture_output=True)
        self.port = free_port()
        self.log = open(os.path.join(folder, "host.log"), "wb")
        self.process = subprocess.Popen(
            [glimmark, "serve", "--port", str(self.port), "--key-file", self.key,
             "--password", self.password],
            env=self.env, stdout=self.log, stderr=self.log)
        self.base = f"http://127.0.0.1:{self.port}"
        for _ in range(300):
            try:
                urllib.request.urlopen(self.base + "/", timeout=2).read()
                return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError(f"the page host did not start: see {self.log.name}")

    def get(self, path):
        with urllib.request.urlopen(self.base + path, timeout=30) as answer:
            return answer.headers.get_content_type(), answer.read()

    def challenge(self):
        """An envelope from the form, and its text as the operator's tool reads it."""
        _, page = self.get("/")
        envelope = html.unescape(re.search(rb'name="token" value="([^"]+)"', page).group(1).decode())
        out = subprocess.run([self.glimmark, "verify", "--key-file", self.key, "--password",
                              self.password, "--token", envelope, "--json"],
                             env=self.env, check=True, capture_output=True, text=True).stdout
        return envelope, json.loads(out)["text"]

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()


def host_samples(host, folder, count, audios):
    """`count` (picture, audio or None, text) of the host's default look; the
    first `audios` with their audio."""
    os.makedirs(folder, exist_ok=True)
    samples = []
    for i in range(count):
        envelope, text = host.challenge()
        token = urllib.parse.quote(envelope, safe="")
        kind, picture = host.get(f"/captcha?token={token}")
        extension = "gif" if kind == "image/gif" else "jpg"
        picture_path = os.path.join(folder, f"{i:05d}.{extension}")
        with open(picture_path, "wb") as f:
            f.write(picture)
        audio_path = None
        if i < audios:
            kind, audio = host.get(f"/audio?token={token}")
            assert kind == "audio/wav", kind
            audio_path = os.path.join(folder, f"{i:05d}.wav")
            with open(audio_path, "wb") as f:
                f.write(audio)
        samples.append((picture_path, audio_path, text))
    return samples


# ---------------------------------------------------------------- Tesseract

def tesseract(pictures, folder):
    """Stock Tesseract over a list of pictures in one process: one text per picture."""
    listing = os.path.join(folder, "tesseract-list.txt")
    with open(listing, "w") as f:
        f.write("\n".join(pictures) + "\n")
    base = os.path.join(folder, "tesseract-out")
    subprocess.run(["tesseract", listing, base, "--psm", "7", "-c",
                    f"tessedit_char_whitelist={ALPHABET}"], check=True, capture_output=True)
    with open(base + ".txt", encoding="utf-8") as f:
        pages = f.read().split("\f")
    guesses = ["".join(page.split()) for page in pages[:len(pictures)]]
    assert len(guesses) == len(pictures), (len(guesses), len(pictures))
    return guesses


# ---------------------------------------------------------------- the network

def load_pictures(paths):
    """The pictures in grey, scaled, ink 1 and paper 0 (so that the zeros a
    shift or a convolution pads with are paper)."""
    import numpy
    from PIL import Image
    import torch
    arrays = [numpy.asarray(Image.open(p).convert("L").resize(PICTURE_SIZE, Image.BILINEAR),
                            dtype=numpy.float32) / 255.0 for p in paths]
    return 1.0 - torch.from_numpy(numpy.stack(arrays)).unsqueeze(1)


def recogniser():
    import torch.nn as nn
    def block(i, o, pool):
        return [nn.Conv2d(i, o, 3, padding=1, bias=False), nn.BatchNorm2d(o), nn.ReLU(inplace=True),
                nn.MaxPool2d(pool)]

    def column_block(i, o, dilation):
        return [nn.Conv1d(i, o, 3, padding=dilation, dilation=dilation, bias=False),
                nn.BatchNorm1d(o), nn.ReLU(inplace=True)]

    class Net(nn.Module):
        """Four 3x3 convolutions, halving the height each time and the width
        twice, to one feature column per COLUMN_PIXELS pixels; then two
        convolutions along the columns (the second dilated, so each column
        sees 7, about a character and a half) and a class, or blank, per
        column. Convolutions only: Debian's torch has fast convolution kernels
        but a generic BLAS for recurrent layers."""
        def __init__(self):
            super().__init__()
            self.features = nn.Sequential(*block(1, 16, 2), *block(16, 32, 2),
                                          *block(32, 48, (2, 1)), *block(48, 64, (2, 1)))
            rows = PICTURE_SIZE[1] // 16
            self.columns = nn.Sequential(*column_block(64 * rows, 128, 1),
                                         *column_block(128, 128, 2),
                                         nn.Conv1d(128, len(ALPHABET) + 1, 1))

        def forward(self, x):
            f = self.features(x)  # N, 64, rows, W / COLUMN_PIXELS
            n, c, h, w = f.shape
            return self.columns(f.reshape(n, c * h, w)).permute(0, 2, 1)  # N, columns, classes
    return Net()


def encode(texts):
    import torch
    targets = torch.tensor([ALPHABET.index(c) + 1 for t in texts for c in t], dtype=torch.long)
    return targets, torch.tensor([len(t) for t in texts], dtype=torch.long)


def decode(logits):
    best = logits.argmax(-1)
    texts = []
    for row in best.tolist():
        out, previous = [], 0
        for k in row:
            if k != previous and k != 0:
                out.append(ALPHABET[k - 1])
            previous = k
        texts.append("".join(out))
    return texts


BATCH = 32  # small steps: a CTC network leaves its all-blank start after some hundreds
PEAK_LEARNING_RATE = 3e-3
WARM_UP_SHARE = 0.15  # of all steps, rising to the peak; then down to nearly 0
GRADIENT_CLIP = 5.0  # CTC's gradients spike on the first steps


def train(train_set, epochs, threads):
    import torch
    torch.manual_seed(secrets.randbits(32))
    torch.set_num_threads(threads)
    images = load_pictures([p for p, _ in train_set])
    texts = [t for _, t in train_set]
    net = recogniser()
    optimizer = torch.optim.AdamW(net.parameters(), lr=PEAK_LEARNING_RATE, weight_decay=1e-4)
    steps = epochs * math.ceil(len(texts) / BATCH)
    schedule = torch.optim.lr_scheduler.OneCycleLR(optimizer, max_lr=PEAK_LEARNING_RATE,
                                                   total_steps=steps, pct_start=WARM_UP_SHARE)
    ctc = torch.nn.CTCLoss(blank=0, zero_infinity=True)
    for epoch in range(epochs):
        net.train()
        order = torch.randperm(len(texts))
        total = 0.0
        for start in range(0, len(texts), BATCH):
            pick = order[start:start + BATCH]
            x = images[pick]
            # Small shifts, so the network learns the characters, not their places.
            x = torch.roll(x, shifts=(secrets.randbelow(5) - 2, secrets.randbelow(7) - 3), dims=(2, 3))
            targets, lengths = encode([texts[i] for i in pick.tolist()])
            logits = net(x).log_softmax(-1).permute(1, 0, 2)  # columns, N, classes
            loss = ctc(logits, targets, torch.full((len(pick),), logits.shape[0], dtype=torch.long),
                       lengths)
            optimizer.zero_grad()
            loss.backward()
            torch.nn.utils.clip_grad_norm_(net.parameters(), GRADIENT_CLIP)
            optimizer.step()
            schedule.step()
            total += loss.item() * len(pick)
            if (start // BATCH + 1) % 200 == 0:
                log(f"  epoch {epoch + 1}, step {start // BATCH + 1}: loss {loss.item():.3f}")
        log(f"  epoch {epoch + 1}/{epochs}: loss {total / len(texts):.3f}")
    net.eval()
    return net


def recognise(net, paths):
    import torch
    with torch.no_grad():
        return [g for start in range(0, len(paths), 256)
                for g in decode(net(load_pictures(paths[start:start + 256])))]


# ---------------------------------------------------------------- pocketsphinx

def sphinx_grammar(folder):
    letters = " | ".join(c.lower() for c in ALPHABET if c.isupper())
    small = " | ".join(c for c in ALPHABET if c.islower())
    digits = " | ".join(w for w, d in DIGIT_WORDS.items() if d in ALPHABET)
    path = os.path.join(folder, "challenge.gram")
    with open(path, "w") as f:
        f.write("#JSGF V1.0;\ngrammar challenge;\n"
                f"<capital> = capital ({letters});\n<small> = small ({small});\n"
                f"<digit> = {digits};\npublic <challenge> = (<capital> | <small> | <digit>)+;\n")
    return path


def words_to_text(words):
    text, case = [], None
    for word in words:
        word = re.sub(r"\(\d+\)$", "", word)
        if word in ("capital", "small"):
            case = word
        elif word in DIGIT_WORDS:
            text.append(DIGIT_WORDS[word])
        elif len(word) == 1 and word.isalpha():
            text.append(word.upper() if case == "capital" else word.lower())
            case = None
    return "".join(text)


def pocketsphinx(audios, folder):
    from pocketsphinx import Decoder
    config = Decoder.default_config()
    config.set_string("-hmm", os.path.join(SPHINX_MODEL, "en-us"))
    config.set_string("-dict", os.path.join(SPHINX_MODEL, "cmudict-en-us.dict"))
    config.set_string("-jsgf", sphinx_grammar(folder))
    config.set_string("-logfn", "/dev/null")
    decoder = Decoder(config)
    guesses = []
    for path in audios:
        with open(path, "rb") as f:
            pcm = f.read()[44:]  # 16 kHz mono 16-bit after the header
        decoder.start_utt()
        decoder.process_raw(pcm, False, True)
        decoder.end_utt()
        hypothesis = decoder.hyp()
        guesses.append(words_to_text(hypothesis.hypstr.split()) if hypothesis else "")
    return guesses


# ---------------------------------------------------------------- main

def table(results):
    lines = ["| attack | look | samples | exact | per character |", "|---|---|---|---|---|"]
    for (attack, look), r in results.items():
        lines.append(f"| {attack} | {look} | {r['n']} | {100 * r['exact']:.1f} % ± {100 * r['exact_pm']:.1f} "
                     f"| {100 * r['per_char']:.1f} % ± {100 * r['per_char_pm']:.1f} |")
    return "\n".join(lines)


def cpu_seconds():
    """User and system CPU of this process and of its children waited for."""
    t = os.times()
    return t.user + t.system + t.children_user + t.children_system


class Stages:
    """Wall and CPU seconds of each stage, logged as it ends. CPU counts this
    process's threads and every child it waited for (the tool, the host,
    Tesseract), so CPU / 2 estimates the wall time on 2 idle cores."""

    def __init__(self):
        self.rows = []

    @contextlib.contextmanager
    def __call__(self, name):
        log(name)
        wall, cpu = time.time(), cpu_seconds()
        yield
        row = {"stage": name, "wall_s": round(time.time() - wall, 1),
               "cpu_s": round(cpu_seconds() - cpu, 1)}
        self.rows.append(row)
        log(f"  {row['wall_s']:.0f} s wall, {row['cpu_s']:.0f} s CPU")


def write_results(results, work, stages):
    markdown = table(results)
    with open(os.path.join(work, "results.md"), "w") as f:
        f.write(markdown + "\n")
    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump({"results": {f"{a} / {l}": r for (a, l), r in results.items()},
                   "stages": stages.rows}, f, indent=2)
    return markdown


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--glimmark", required=True, help="the built glimmark tool")
    parser.add_argument("--work", required=True, help="folder for samples and results")
    parser.add_argument("--train", type=int, default=20000, help="labelled pictures to train on")
    parser.add_argument("--test", type=int, default=1000, help="fresh pictures per look to test on")
    parser.add_argument("--ocr", type=int, default=500, help="pictures per look for Tesseract")
    parser.add_argument("--audio", type=int, default=200, help="host audios for pocketsphinx")
    parser.add_argument("--epochs", type=int, default=6)
    parser.add_argument("--jobs", type=int, default=2, help="tool processes at once")
    parser.add_argument("--threads", type=int, default=2, help="the trainer's threads")
    parser.add_argument("--skip", action="append", default=[], choices=["tesseract", "network", "audio"])
    args = parser.parse_args()
    started, started_cpu = time.time(), cpu_seconds()
    glimmark = os.path.abspath(args.glimmark)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    results = {}
    stage = Stages()

    fresh = max(args.test, args.ocr)
    with stage(f"making {fresh} fresh pictures through the tool"):
        cli_test = cli_samples(glimmark, os.path.join(work, "cli-test"), fresh, args.jobs)
    challenges = max(args.test, args.ocr, args.audio)
    with stage(f"making {challenges} challenges through the page host"):
        host = Host(glimmark, os.path.join(work, "host"))
        try:
            host_test = host_samples(host, os.path.join(work, "host-test"), challenges,
                                     0 if "audio" in args.skip else args.audio)
        finally:
            host.stop()
    looks = {"component default (tool)": [(p, t) for p, t in cli_test],
             "host default (page host)": [(p, t) for p, _, t in host_test]}
    # The quick attacks first, each written out as it ends.
    if "tesseract" not in args.skip:
        for look, samples in looks.items():
            subset = samples[:args.ocr]
            with stage(f"Tesseract on {len(subset)} pictures, {look}"):
                results[("stock Tesseract", look)] = score(
                    [t for _, t in subset], tesseract([p for p, _ in subset], work))
            write_results(results, work, stage)
    if "audio" not in args.skip:
        subset = host_test[:args.audio]
        with stage(f"pocketsphinx on {len(subset)} audios"):
            results[("pocketsphinx, grammar of the spoken alphabet", "host audio")] = score(
                [t for _, _, t in subset], pocketsphinx([a for _, a, _ in subset], work))
        write_results(results, work, stage)
    if "network" not in args.skip:
        with stage(f"making {args.train} labelled pictures through the tool"):
            cli_train = cli_samples(glimmark, os.path.join(work, "cli-train"), args.train, args.jobs)
        with stage(f"training the recogniser on {len(cli_train)} pictures, {args.epochs} epochs, "
                   f"{args.threads} threads"):
            net = train(cli_train, args.epochs, args.threads)
        # One network for both looks: the host draws the component's default
        # look (size, curves, colours, format) and only its text differs.
        with stage("the recogniser on the fresh pictures of both looks"):
            for look, samples in looks.items():
                subset = samples[:args.test]
                results[(f"CNN trained on {len(cli_train)}", look)] = score(
                    [t for _, t in subset], recognise(net, [p for p, _ in subset]))
        write_results(results, work, stage)
    print(write_results(results, work, stage))
    log(f"done in {(time.time() - started) / 60:.1f} minutes wall, "
        f"{(cpu_seconds() - started_cpu) / 60:.1f} minutes CPU")


if __name__ == "__main__":
    sys.exit(main())
