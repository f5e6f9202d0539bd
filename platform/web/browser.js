// The browser's side of the platform layer: the run loop's timer, the serial ports, the log.
mergeInto(LibraryManager.library, {
  $korvaneTimer: null,
  korvane_loop_wake__deps: ['$korvaneTimer'],
  korvane_loop_wake: function (loop, at) {
    if (!korvaneTimer) {
      // A worker's timers: chained ones are not held to 4 ms at least as the page's are, and none
      // is slowed down while the page is in the background, so an update keeps its pace. A timer
      // may be a millisecond late where a message is not: the worker waits out the last one.
      const source = `let timer;
        const now = () => performance.timeOrigin + performance.now();
        onmessage = (event) => {
          clearTimeout(timer);
          const [loop, at] = event.data;
          if (at >= 0) timer = setTimeout(() => { while (now() < at); postMessage(loop); }, at - now() - 1);
        };`;
      korvaneTimer = new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
      korvaneTimer.onmessage = (event) => _korvane_loop_fire(event.data);
    }
    korvaneTimer.postMessage([loop, at < 0 ? -1 : performance.timeOrigin + at]);
  },

  // granted: every port granted since the page was loaded (a port's number is its place + 1);
  // present: those the browser lists now; sessions: each open port by the port object using it.
  $korvaneSerial: { granted: [], present: [], sessions: {} },
  $korvaneSerialList__deps: ['$korvaneSerial'],
  $korvaneSerialList: async function () {
    if (!navigator.serial) return [];
    korvaneSerial.present = await navigator.serial.getPorts();
    for (const port of korvaneSerial.present) {
      if (!korvaneSerial.granted.includes(port)) korvaneSerial.granted.push(port);
    }
    return korvaneSerial.present;
  },
  // The browser's chooser; needs a user's click. False when nothing was chosen.
  $korvaneSerialAdd__deps: ['$korvaneSerialList'],
  $korvaneSerialAdd: async function () {
    try {
      await navigator.serial.requestPort();
    } catch (error) {
      return false;
    }
    await korvaneSerialList();
    return true;
  },
  // The page lists the ports before a search and asks for one with "Add a port…".
  $korvaneSerialWatch__deps: ['$korvaneSerialList', '$korvaneSerialAdd', '$korvaneSerial'],
  $korvaneSerialWatch__postset: 'korvaneSerialWatch();',
  $korvaneSerialWatch: function () {
    Module.serialPorts = korvaneSerialList;
    Module.addSerialPort = korvaneSerialAdd;
    if (!navigator.serial) return;
    navigator.serial.addEventListener('connect', korvaneSerialList);
    navigator.serial.addEventListener('disconnect', (event) => {
      for (const session of Object.values(korvaneSerial.sessions)) {
        if (session.port === event.target) session.lose('The device has been lost.');
      }
      korvaneSerialList();
    });
  },

  korvane_serial_listed__deps: ['$korvaneSerial', '$korvaneSerialWatch'],
  korvane_serial_listed: function (index) {
    const port = korvaneSerial.present[index];
    return port ? korvaneSerial.granted.indexOf(port) + 1 : 0;
  },
  korvane_serial_usb_ids: function (number, vendorId, productId) {
    const info = korvaneSerial.granted[number - 1].getInfo();
    if (info.usbVendorId === undefined) return false;
    HEAPU16[vendorId >> 1] = info.usbVendorId;
    HEAPU16[productId >> 1] = info.usbProductId;
    return true;
  },
  $korvaneWithString__deps: ['malloc', 'free'],
  $korvaneWithString: function (text, use) {
    const size = lengthBytesUTF8(text) + 1;
    const pointer = _malloc(size);
    stringToUTF8(text, pointer, size);
    use(pointer);
    _free(pointer);
  },
  korvane_serial_open__deps: ['$korvaneSerial', '$korvaneWithString', '$korvaneLog', 'malloc', 'free'],
  korvane_serial_open: function (handle, number) {
    const port = korvaneSerial.granted[number - 1];
    const session = { port: port };
    const live = () => korvaneSerial.sessions[handle] === session;
    korvaneSerial.sessions[handle] = session;
    // Ends the session; the port closes once its reading has stopped.
    session.end = () => {
      delete korvaneSerial.sessions[handle];
      if (session.reader) session.reader.cancel().catch(() => {});
    };
    session.lose = (why) => {
      if (!live()) return;
      session.end();
      korvaneWithString(why, (text) => _korvane_serial_lost(handle, text));
    };
    // One session at a time on a port: this one starts once the one before has closed it.
    const before = port.idle;
    let closed;
    port.idle = new Promise((resolve) => { closed = resolve; });
    (async () => {
      await before;
      try {
        await port.open({ baudRate: 19200, dataBits: 8, parity: 'none', stopBits: 1, flowControl: 'none' });
      } catch (error) {
        if (live()) {
          session.end();
          korvaneWithString(error.message,
            (text) => _korvane_serial_failed(handle, error.name === 'InvalidStateError', text));
        }
        closed();
        return;
      }
      try {
        await port.setSignals({ dataTerminalReady: false, requestToSend: false });
      } catch (error) {
        korvaneLog('Could not set DTR and RTS on serial port ' + number + ': ' + error.message);
      }
      const writer = port.writable.getWriter();
      session.writer = writer;
      if (live()) _korvane_serial_opened(handle);
      // A framing or parity error ends one stream and the port offers the next; a lost device
      // leaves none.
      let why = 'The device has been lost.';
      while (live() && port.readable) {
        const reader = port.readable.getReader();
        session.reader = reader;
        try {
          for (let chunk = await reader.read(); !chunk.done && live(); chunk = await reader.read()) {
            const pointer = _malloc(chunk.value.length);
            HEAPU8.set(chunk.value, pointer);
            _korvane_serial_received(handle, pointer, chunk.value.length);
            _free(pointer);
          }
        } catch (error) {
          why = error.message;
        }
        reader.releaseLock();
      }
      session.lose(why);
      writer.releaseLock();
      await port.close().catch(() => {});
      closed();
    })();
  },
  korvane_serial_close__deps: ['$korvaneSerial'],
  korvane_serial_close: function (handle) {
    const session = korvaneSerial.sessions[handle];
    if (session) session.end();
  },
  korvane_serial_write__deps: ['$korvaneSerial'],
  korvane_serial_write: function (handle, data, size) {
    const session = korvaneSerial.sessions[handle];
    if (!session || !session.writer) return false;
    // Queued in order; a failed write shows up as a lost device on the reading side.
    session.writer.write(HEAPU8.slice(data, data + size)).catch(() => {});
    return true;
  },

  // A line with the time as the window's Log panel shows it, to the console and the page's panel.
  $korvaneLog: function (line) {
    const now = new Date();
    const stamped = now.toTimeString().slice(0, 8) + '.' + String(now.getMilliseconds()).padStart(3, '0') + ' ' + line;
    console.log(stamped);
    if (Module.logLine) Module.logLine(stamped);
  },
  korvane_log__deps: ['$korvaneLog'],
  korvane_log: function (text, size) {
    korvaneLog(UTF8ToString(text, size).replace(/[\r\n]+$/, ''));
  },
});
