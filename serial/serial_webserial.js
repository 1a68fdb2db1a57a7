// The Web Serial side of serial_webserial.cpp (an emscripten JS library).
// KorvelSerial holds the port the page chose (Module.korvelSerial.port),
// the receive queue that a background reader loop fills, and the line's
// state. The functions that wait suspend the WebAssembly core through
// Asyncify; the rest answer at once from the queue.
mergeInto(LibraryManager.library, {
  $KorvelSerial: {
    port: null,          // the SerialPort chosen by the page
    isOpen: false,
    lost: false,         // the line is gone (unplugged, a failed read, Cancel)
    options: null,       // open()'s settings beside the bit rate
    rate: 0,             // the rate the port is open at
    wantedRate: 0,       // the rate the core asked for last
    refusedRates: [],    // rates the system would not open the port at, in this run
    reader: null,
    readLoop: null,
    stopping: false,
    writer: null,
    lastWrite: null,     // the last write's promise
    chunks: [],          // received Uint8Arrays; offset: bytes of chunks[0] already read
    offset: 0,
    count: 0,
    waiter: null,        // a receive wait to wake when bytes come or the line goes
    signals: {dataTerminalReady: false, requestToSend: false},
    lastError: '',
    lastPause: 0,
    watched: null,       // the ports with a disconnect listener (a WeakSet)

    wake: function() {
      const waiter = KorvelSerial.waiter;
      KorvelSerial.waiter = null;
      if (waiter) waiter();
    },
    lose: function() {
      KorvelSerial.lost = true;
      KorvelSerial.wake();
    },
    // Cancel from the page: the line reads as gone, so that the core ends
    // through its own failure path and then closes the port.
    cancel: function() {
      KorvelSerial.lose();
      return KorvelSerial.stopReading();
    },
    startReading: function() {
      const reader = KorvelSerial.port.readable.getReader();
      KorvelSerial.reader = reader;
      KorvelSerial.readLoop = (async () => {
        try {
          for (;;) {
            const {value, done} = await reader.read();
            if (done) break;
            if (value && value.length) {
              KorvelSerial.chunks.push(value);
              KorvelSerial.count += value.length;
              KorvelSerial.wake();
            }
          }
        } catch (e) {
          if (!KorvelSerial.stopping) KorvelSerial.lose();  // a NetworkError: the line is gone
        } finally {
          reader.releaseLock();
        }
      })();
    },
    stopReading: async function() {
      const reader = KorvelSerial.reader, loop = KorvelSerial.readLoop;
      if (!reader) return;
      KorvelSerial.stopping = true;
      try { await reader.cancel(); } catch (e) {}
      await loop;
      KorvelSerial.reader = KorvelSerial.readLoop = null;
      KorvelSerial.stopping = false;
    },
    openAt: async function(rate) {
      const port = KorvelSerial.port;
      await port.open(Object.assign({baudRate: rate}, KorvelSerial.options));
      KorvelSerial.isOpen = true;
      KorvelSerial.rate = rate;
      KorvelSerial.writer = port.writable.getWriter();
      KorvelSerial.lastWrite = Promise.resolve();
      KorvelSerial.startReading();
    },
    // Both locks released first: close() rejects while a stream is locked.
    // The bytes written are out of the writer before the port closes.
    closePort: async function() {
      if (!KorvelSerial.isOpen) return true;
      KorvelSerial.isOpen = false;
      await KorvelSerial.stopReading();
      const writer = KorvelSerial.writer;
      KorvelSerial.writer = null;
      if (writer) {
        try { await KorvelSerial.lastWrite; } catch (e) {}
        writer.releaseLock();
      }
      try {
        await KorvelSerial.port.close();
        return true;
      } catch (e) {
        return KorvelSerial.lost;  // a port that is gone is released all the same
      }
    },
    // A rate change takes effect before the next thing done on the line:
    // the port closed and opened again at the new rate (Web Serial fixes the
    // rate at open). Asking for a rate and back again costs nothing. A rate
    // the system refuses at open leaves the port at the rate it had (the
    // exchange at the new rate then fails as on a rate the chip missed), and
    // is refused at once when asked for again in this run.
    applyRate: async function() {
      const wanted = KorvelSerial.wantedRate, previous = KorvelSerial.rate;
      if (!KorvelSerial.isOpen || KorvelSerial.lost || wanted === previous) return;
      await KorvelSerial.closePort();
      try {
        try {
          await KorvelSerial.openAt(wanted);
        } catch (e) {
          KorvelSerial.refusedRates.push(wanted);
          KorvelSerial.wantedRate = previous;
          await KorvelSerial.openAt(previous);
        }
        await KorvelSerial.port.setSignals(KorvelSerial.signals);
      } catch (e) {
        KorvelSerial.lastError = String(e && e.message || e);
        KorvelSerial.lose();
      }
    },
    // Runs work() with the core suspended; its result is the call's result.
    suspend: function(work) {
      return Asyncify.handleSleep(function(wakeUp) {
        work().then(function(value) { return value; }, function(e) {
          KorvelSerial.lastError = String(e && e.message || e);
          return 0;
        }).then(function(value) {
          KorvelSerial.lastPause = performance.now();
          wakeUp(value);
        });
      });
    },
    // Asyncify runs an import again when it resumes the core: only a call
    // in the normal state may answer at once.
    mayAnswerNow: function() { return Asyncify.state === Asyncify.State.Normal; },
  },
  $KorvelSerial__postset:
      'KorvelSerial.watched = new WeakSet(); KorvelSerial.lastWrite = Promise.resolve(); ' +
      'Module["korvelSerial"] = KorvelSerial;',

  korvel_serial_open__deps: ['$KorvelSerial'],
  korvel_serial_open: function(bitRate, dataBits, parity, stopBits) {
    if (KorvelSerial.mayAnswerNow() && !KorvelSerial.port) {
      KorvelSerial.lastError = 'no port chosen (press Connect)';
      return 0;
    }
    return KorvelSerial.suspend(async function() {
      await KorvelSerial.closePort();
      KorvelSerial.lost = false;
      KorvelSerial.chunks = [];
      KorvelSerial.offset = KorvelSerial.count = 0;
      KorvelSerial.options = {dataBits: dataBits, stopBits: stopBits, parity: ['none', 'odd', 'even'][parity],
                              bufferSize: 4096, flowControl: 'none'};
      KorvelSerial.wantedRate = bitRate;
      KorvelSerial.refusedRates = [];
      KorvelSerial.signals = {dataTerminalReady: false, requestToSend: false};
      const port = KorvelSerial.port;
      if (!KorvelSerial.watched.has(port)) {
        KorvelSerial.watched.add(port);
        port.addEventListener('disconnect', function() { if (port === KorvelSerial.port) KorvelSerial.lose(); });
      }
      try {
        await KorvelSerial.openAt(bitRate);
        return 1;
      } catch (e) {
        KorvelSerial.lastError = String(e && e.message || e);
        return 0;
      }
    });
  },

  korvel_serial_last_error__deps: ['$KorvelSerial'],
  korvel_serial_last_error: function(buffer, room) { stringToUTF8(KorvelSerial.lastError, buffer, room); },

  korvel_serial_close__deps: ['$KorvelSerial'],
  korvel_serial_close: function() {
    return KorvelSerial.suspend(async function() { return (await KorvelSerial.closePort()) ? 1 : 0; });
  },

  korvel_serial_set_rate__deps: ['$KorvelSerial'],
  korvel_serial_set_rate: function(bitRate) {
    if (!KorvelSerial.isOpen || bitRate <= 0 || KorvelSerial.refusedRates.includes(bitRate)) return 0;
    KorvelSerial.wantedRate = bitRate;
    return 1;
  },

  korvel_serial_write__deps: ['$KorvelSerial'],
  korvel_serial_write: function(bytes, size) {
    if (KorvelSerial.mayAnswerNow() && (KorvelSerial.lost || !KorvelSerial.isOpen)) return 0;
    const frame = HEAPU8.slice(bytes, bytes + size);  // one write: the frame leaves whole
    return KorvelSerial.suspend(async function() {
      await KorvelSerial.applyRate();
      if (KorvelSerial.lost || !KorvelSerial.writer) return 0;
      KorvelSerial.lastWrite = KorvelSerial.writer.write(frame);
      await KorvelSerial.lastWrite;
      return 1;
    });
  },

  korvel_serial_set_signal__deps: ['$KorvelSerial'],
  korvel_serial_set_signal: function(line, on) {
    if (KorvelSerial.mayAnswerNow() && (KorvelSerial.lost || !KorvelSerial.isOpen)) return 0;
    KorvelSerial.signals[line === 0 ? 'requestToSend' : 'dataTerminalReady'] = !!on;
    return KorvelSerial.suspend(async function() {
      await KorvelSerial.applyRate();
      await KorvelSerial.port.setSignals(KorvelSerial.signals);
      return 1;
    });
  },

  // 1 as soon as a byte waits; 0 after ms without one. A line that is gone
  // never answers 1: the wait runs its time out.
  korvel_serial_wait_rx__deps: ['$KorvelSerial'],
  korvel_serial_wait_rx: function(ms) {
    if (KorvelSerial.mayAnswerNow() && !KorvelSerial.lost && KorvelSerial.count > 0) return 1;
    return KorvelSerial.suspend(async function() {
      await KorvelSerial.applyRate();
      const ready = function() { return !KorvelSerial.lost && KorvelSerial.count > 0; };
      if (ready()) return 1;
      return new Promise(function(resolve) {
        const timer = setTimeout(function() {
          KorvelSerial.waiter = null;
          resolve(ready() ? 1 : 0);
        }, ms);
        KorvelSerial.waiter = function check() {
          if (!ready()) {
            KorvelSerial.waiter = check;
            return;
          }
          clearTimeout(timer);
          resolve(1);
        };
      });
    });
  },

  korvel_serial_sleep__deps: ['$KorvelSerial'],
  korvel_serial_sleep: function(ms) {
    return KorvelSerial.suspend(async function() {
      await KorvelSerial.applyRate();
      await new Promise(function(resolve) { setTimeout(resolve, ms); });
    });
  },

  korvel_serial_pause_if_busy__deps: ['$KorvelSerial'],
  korvel_serial_pause_if_busy: function() {
    if (KorvelSerial.mayAnswerNow() && performance.now() - KorvelSerial.lastPause < 100) return;
    return KorvelSerial.suspend(function() { return new Promise(function(resolve) { setTimeout(resolve, 0); }); });
  },

  korvel_serial_rx_count__deps: ['$KorvelSerial'],
  korvel_serial_rx_count: function() { return KorvelSerial.lost ? -1 : KorvelSerial.count; },

  // 0..255; -1 nothing waiting; -2 the line is gone.
  korvel_serial_read_byte__deps: ['$KorvelSerial'],
  korvel_serial_read_byte: function() {
    if (KorvelSerial.lost) return -2;
    if (KorvelSerial.count === 0) return -1;
    const chunk = KorvelSerial.chunks[0];
    const byte = chunk[KorvelSerial.offset++];
    if (KorvelSerial.offset === chunk.length) {
      KorvelSerial.chunks.shift();
      KorvelSerial.offset = 0;
    }
    KorvelSerial.count--;
    return byte;
  },

  korvel_serial_line_lost__deps: ['$KorvelSerial'],
  korvel_serial_line_lost: function() { return KorvelSerial.lost ? 1 : 0; },
});
