// For the browser rows only (never served with the page): navigator.serial
// for a headless browser, whose port chooser cannot be answered. One port,
// whose every open() is one WebSocket connection to the bridge
// (tests/web/bridge.py), which holds h8board's pseudo-terminal:
//   to the bridge:   binary = bytes for the line; text = JSON
//                    {"open": options}, {"signals": {...}}, {"close": true}
//   from the bridge: binary = bytes from the line; text = JSON
//                    {"opened": true}, {"error": why}, {"lost": true}
// Set window.__korvelBridgeUrl ("ws://127.0.0.1:PORT") in the same injected
// script, before this one. What the page did is kept in
// window.__korvelSerialLog for the rows: {requested}, {open: options},
// {signals}, {close}, {lost}, {disconnect}.
(() => {
  const log = (window.__korvelSerialLog = []);
  const networkError = (what) => new DOMException(what, 'NetworkError');

  class SerialPort extends EventTarget {
    #socket = null;        // the open's connection; null while closed
    #readable = null;
    #writable = null;
    #readController = null;
    #writeController = null;
    #lost = false;
    onconnect = null;
    ondisconnect = null;

    getInfo() { return {}; }

    // As the real API: a new stream when the last one was closed while the
    // port stays open; null once closed or lost.
    get readable() {
      if (this.#readable === null && this.#socket !== null && !this.#lost) {
        this.#readable = new ReadableStream({
          start: (controller) => { this.#readController = controller; },
          cancel: () => { this.#readable = this.#readController = null; },
        });
      }
      return this.#readable;
    }

    get writable() {
      if (this.#writable === null && this.#socket !== null && !this.#lost) {
        const socket = this.#socket;
        this.#writable = new WritableStream({
          start: (controller) => { this.#writeController = controller; },
          write: (chunk) => {
            if (this.#lost || socket.readyState !== WebSocket.OPEN) throw networkError('The device has been lost.');
            socket.send(chunk instanceof Uint8Array ? chunk : new Uint8Array(chunk));
          },
          close: () => { this.#writable = this.#writeController = null; },
          abort: () => { this.#writable = this.#writeController = null; },
        });
      }
      return this.#writable;
    }

    async open(options) {
      if (this.#socket !== null) throw new DOMException('The port is already open.', 'InvalidStateError');
      if (!options || !(options.baudRate > 0)) throw new TypeError('A positive baudRate is required.');
      log.push({ open: { ...options } });
      const socket = new WebSocket(window.__korvelBridgeUrl);
      socket.binaryType = 'arraybuffer';
      await new Promise((resolve, reject) => {
        socket.onmessage = (event) => {
          const answer = JSON.parse(event.data);
          if (answer.opened) return resolve();
          socket.close();
          reject(networkError(answer.error || 'Failed to open serial port.'));
        };
        socket.onopen = () => socket.send(JSON.stringify({ open: options }));
        socket.onerror = socket.onclose = () => reject(networkError('Failed to open serial port.'));
      });
      this.#socket = socket;
      this.#lost = false;
      socket.onmessage = (event) => {
        if (typeof event.data !== 'string') {
          if (this.#readController) this.#readController.enqueue(new Uint8Array(event.data));
          return;  // bytes nobody reads from: dropped, as a real port drops them
        }
        if (JSON.parse(event.data).lost) this.#lose();
      };
      socket.onclose = () => { if (this.#socket === socket) this.#lose(); };
    }

    // The line is gone (unplugged): readers and writers fail, both streams
    // become null, and 'disconnect' fires on the port and on navigator.serial.
    #lose() {
      if (this.#lost) return;
      this.#lost = true;
      log.push({ lost: true });
      const error = networkError('The device has been lost.');
      if (this.#readController) try { this.#readController.error(error); } catch (e) {}
      if (this.#writeController) try { this.#writeController.error(error); } catch (e) {}
      this.#readable = this.#writable = this.#readController = this.#writeController = null;
      const disconnect = () => new Event('disconnect', { bubbles: true });
      log.push({ disconnect: true });
      this.dispatchEvent(disconnect());
      if (typeof this.ondisconnect === 'function') this.ondisconnect(disconnect());
      navigator.serial.dispatchEvent(disconnect());
      if (typeof navigator.serial.ondisconnect === 'function') navigator.serial.ondisconnect(disconnect());
    }

    async setSignals(signals) {
      if (this.#socket === null || this.#lost) throw new DOMException('The port is closed.', 'InvalidStateError');
      log.push({ signals: { ...signals } });
      this.#socket.send(JSON.stringify({ signals }));
    }

    async getSignals() {
      if (this.#socket === null || this.#lost) throw new DOMException('The port is closed.', 'InvalidStateError');
      // A pseudo-terminal has no modem lines: DCD, CTS, RI and DSR read low.
      return { dataCarrierDetect: false, clearToSend: false, ringIndicator: false, dataSetReady: false };
    }

    // As the real API: refused while a reader or writer holds a stream; the
    // bytes already written go out before the line is let go.
    async close() {
      if ((this.#readable && this.#readable.locked) || (this.#writable && this.#writable.locked))
        throw new TypeError('Cannot close a port whose streams are locked.');
      if (this.#socket === null) throw new DOMException('The port is already closed.', 'InvalidStateError');
      if (this.#readable) await this.#readable.cancel();
      if (this.#writable) await this.#writable.close();
      const socket = this.#socket;
      this.#socket = null;
      this.#readable = this.#writable = this.#readController = this.#writeController = null;
      if (socket.readyState === WebSocket.OPEN) {
        const closed = new Promise((resolve) => { socket.onclose = resolve; });
        socket.send(JSON.stringify({ close: true }));
        await closed;
      }
      log.push({ close: true });
    }

    async forget() { await this.close().catch(() => {}); }
  }

  class Serial extends EventTarget {
    #port = null;
    onconnect = null;
    ondisconnect = null;
    // Headless, the chooser is answered at once with the one port.
    async requestPort() {
      log.push({ requested: true });
      return (this.#port ??= new SerialPort());
    }
    async getPorts() { return this.#port ? [this.#port] : []; }
  }

  Object.defineProperty(Navigator.prototype, 'serial', { value: new Serial(), configurable: true });
  window.SerialPort = SerialPort;
})();
