// The page around korvel-web: the port from the browser's chooser, the file
// into korvel's file system under its own name, one run of korvel per
// Program, its console text and progress as they come.
'use strict';

const $ = (id) => document.getElementById(id);
const page = {
  port: null,
  file: null,           // {name, bytes}
  running: false,
  pending: '',          // console text not yet on the page
  flushTimer: 0,
  errorLines: [],       // the run's standard error, line by line
  progressStart: 0,
  ready: false,         // korvel-web has loaded
};
const kPortName = '/dev/webserial';  // korvel's name for the chosen port (app/web_main.cpp)
const kFileFolder = '/files';

// --- console -------------------------------------------------------------

function flushConsole() {
  clearTimeout(page.flushTimer);
  page.flushTimer = 0;
  if (!page.pending) return;
  const box = $('console');
  const atEnd = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
  // The bell (BEL) in a span of its own that shows nothing.
  page.pending.split('\x07').forEach((part, i) => {
    if (i > 0) {
      const bell = document.createElement('span');
      bell.className = 'bell';
      bell.textContent = '\x07';
      box.append(bell);
    }
    if (part) box.append(part);
  });
  page.pending = '';
  if (atEnd) box.scrollTop = box.scrollHeight;
}

// korvel's text as it writes it; the page catches up once a frame or so.
function showText(text) {
  page.pending += text;
  if (!page.flushTimer) page.flushTimer = setTimeout(flushConsole, 30);
}

// --- progress ------------------------------------------------------------

function showProgress(unit, done, all) {
  const now = performance.now();
  if (done <= 1) page.progressStart = now;
  $('progress').max = Math.max(all, 1);
  $('progress').value = done;
  let text = `${done} of ${all} ${unit}`;
  if (done > 1 && done < all) {
    const left = (now - page.progressStart) / (done - 1) * (all - done) / 1000;
    text += `, about ${left < 60 ? Math.ceil(left) + ' s' : Math.ceil(left / 60) + ' min'} left`;
  }
  $('progress-text').textContent = text;
}

// --- korvel-web ----------------------------------------------------------

window.Module = {
  korvelConsole: showText,
  korvelProgress: showProgress,
  print: (line) => showText(line + '\n'),
  printErr: (line) => {
    if (page.running) page.errorLines.push(line);
    showText(line + '\n');
  },
  onRuntimeInitialized: () => {
    page.ready = true;
    FS.mkdir(kFileFolder);
    FS.chdir(kFileFolder);
    updateButtons();
  },
};

function updateButtons() {
  const serial = 'serial' in navigator;
  $('connect').disabled = !serial || page.running;
  $('program').disabled = !serial || page.running || !page.ready || !page.port || !page.file;
  $('cancel').disabled = !page.running;
  $('mode').disabled = $('file').disabled = page.running;
  document.querySelector('.fast-only').classList.toggle('inactive', $('mode').value !== 'fast');
}

function commandLine() {
  const words = [kPortName, page.file.name];
  if ($('mode').value === 'fast') {
    words.push('--fast');
    const rate = $('max-rate').value.trim();
    const clock = $('clock').value.trim();
    if (rate) words.push('--max-rate', rate);
    if (clock) words.push('--clock', clock);
  }
  return words.join('\n');
}

// The final word ("Success", "Fail") as the console's last word line, or
// the refusal that stopped the command line; then the summary line.
function showResult(status) {
  const result = $('result');
  const lines = (page.consoleText || '').split(/\r?\n/).map((l) => l.replace(/[\r\x07]/g, ''));
  let word = '';
  for (const line of lines) if (line === 'Success' || line === 'Fail') word = line;
  const summary = page.errorLines.filter((l) => /^korvel: (Success|Fail):/.test(l)).pop() || '';
  if (status === 2 || !word) word = page.errorLines[0] || 'Fail';
  result.textContent = summary ? `${word}\n${summary}` : word;
  result.className = word === 'Success' ? 'success' : 'fail';
  result.dataset.state = 'done';
}

async function program() {
  if (page.running) return;
  page.running = true;
  page.errorLines = [];
  page.consoleText = '';
  $('console').textContent = '';
  $('result').textContent = '';
  $('result').className = '';
  $('result').dataset.state = 'running';
  $('progress').value = 0;
  $('progress-text').textContent = '';
  updateButtons();
  const keep = Module.korvelConsole;
  Module.korvelConsole = (text) => { page.consoleText += text; keep(text); };
  let status = 1;
  try {
    FS.writeFile(page.file.name, page.file.bytes);
    Module.korvelSerial.port = page.port;
    status = await Module.ccall('korvel_web_run', 'number', ['string'], [commandLine()], {async: true});
  } catch (e) {
    page.errorLines.push('korvel: ' + (e && e.message || e));
    showText('korvel: ' + (e && e.message || e) + '\n');
  } finally {
    Module.korvelConsole = keep;
    try { FS.unlink(page.file.name); } catch (e) { /* already gone */ }
  }
  flushConsole();
  page.running = false;
  showResult(status);
  updateButtons();
}

// --- the controls --------------------------------------------------------

async function connect() {
  try {
    const port = await navigator.serial.requestPort();
    page.port = port;
    $('port-state').textContent = 'connected';
    port.addEventListener('disconnect', () => {
      if (page.port === port) $('port-state').textContent = 'disconnected';
    });
  } catch (e) {
    if (!page.port) $('port-state').textContent = 'not connected';
  }
  updateButtons();
}

async function takeFile(file) {
  if (!file || page.running) return;
  page.file = {name: file.name, bytes: new Uint8Array(await file.arrayBuffer())};
  $('file-name').textContent = `${file.name} (${file.size} bytes)`;
  updateButtons();
}

function setUp() {
  if (!('serial' in navigator)) $('no-serial').hidden = false;
  $('connect').addEventListener('click', connect);
  $('program').addEventListener('click', program);
  $('cancel').addEventListener('click', () => {
    if (!page.running) return;
    $('cancel').disabled = true;
    $('progress-text').textContent = 'Cancelled: korvel ends the run and closes the port';
    Module.korvelSerial.cancel();
  });
  $('mode').addEventListener('change', updateButtons);
  // Leaving mid-run would stop korvel with the flash half written.
  window.addEventListener('beforeunload', (e) => {
    if (!page.running) return;
    e.preventDefault();
    e.returnValue = '';
  });
  $('file').addEventListener('change', () => takeFile($('file').files[0]));
  const drop = $('drop');
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('dragging'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('dragging'));
  drop.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('dragging');
    takeFile(e.dataTransfer.files[0]);
  });
  updateButtons();
  const core = document.createElement('script');
  core.src = 'korvel-web.js';
  core.onerror = () => showText('korvel-web.js did not load: serve this page with tools/serve_web.sh, ' +
                                'which builds it (see "From the browser" in the README)\n');
  document.body.append(core);
}

setUp();
