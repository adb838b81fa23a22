-- The sample clinic of the main job and the end-to-end tests: two patients, two study names, the
-- image directory on drive D and the institution number. Plain SQL for SQLite and PostgreSQL.
INSERT INTO PATIENT (CNO, PATIENT, GENDER, BIRTHDAY) VALUES ('12345', '홍길동', 'M', '19700101');
INSERT INTO PATIENT (CNO, PATIENT, GENDER, BIRTHDAY) VALUES ('67890', '김영희', 'F', '19820315');
INSERT INTO FOPTION VALUES ('ORBITA', 'CATAGORY', '위내시경', '');
INSERT INTO FOPTION VALUES ('ORBITA', 'CATAGORY', '대장내시경', '');
INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'Image Directory', 'D:\HRB4100\IMAGE');
INSERT INTO HOSINFO VALUES ('12345678');
