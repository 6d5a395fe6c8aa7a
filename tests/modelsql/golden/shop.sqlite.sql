CREATE TABLE party (
    id INTEGER NOT NULL,
    name VARCHAR(80),
    email TEXT,
    addressid INTEGER,
    PRIMARY KEY (id)
);
CREATE TABLE customer (
    id INTEGER NOT NULL,
    name VARCHAR(80),
    email TEXT,
    addressid INTEGER,
    creditlimit NUMERIC,
    segment TEXT CHECK (segment IN ('R', 'W', 'G')),
    since DATE,
    billing_street TEXT,
    billing_zip TEXT,
    billing_city TEXT,
    PRIMARY KEY (id)
);
CREATE TABLE supplier (
    id INTEGER NOT NULL,
    name VARCHAR(80),
    email TEXT,
    addressid INTEGER,
    rating SMALLINT,
    certificates INTEGER,
    PRIMARY KEY (id)
);
CREATE TABLE address (
    street TEXT,
    zip TEXT,
    city TEXT
);
CREATE TABLE product (
    sku TEXT NOT NULL,
    price NUMERIC,
    width DOUBLE PRECISION,
    colour TEXT,
    supplierno INTEGER,
    PRIMARY KEY (sku),
    FOREIGN KEY (supplierno) REFERENCES supplier (id)
);
CREATE TABLE "order" (
    number INTEGER NOT NULL,
    customerid INTEGER,
    placedon DATE,
    total NUMERIC,
    PRIMARY KEY (number),
    FOREIGN KEY (customerid) REFERENCES customer (id)
);
CREATE TABLE orderline (
    ordernumber INTEGER NOT NULL,
    lineno INTEGER NOT NULL,
    productsku TEXT,
    quantity INTEGER DEFAULT 1,
    PRIMARY KEY (ordernumber, lineno),
    FOREIGN KEY (productsku) REFERENCES product (sku)
);
CREATE TABLE delivery (
    ordernumber INTEGER,
    lineno INTEGER,
    shippedon DATE,
    FOREIGN KEY (ordernumber, lineno) REFERENCES orderline (ordernumber, lineno)
);
